#include "platform/disk_service.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/files.h"

extern char** environ;

namespace zt::platform {

namespace {

constexpr char kService[] = "org.freedesktop.UDisks2";
constexpr char kManagerPath[] = "/org/freedesktop/UDisks2/Manager";
constexpr char kManagerInterface[] = "org.freedesktop.UDisks2.Manager";
constexpr char kBlockInterface[] = "org.freedesktop.UDisks2.Block";

constexpr std::uint64_t kQuickCallMicroseconds = 25'000'000;
// Long enough for a person to read the dialog and type a password.
constexpr std::uint64_t kInteractiveCallMicroseconds = 300'000'000;
constexpr int kAgentStartMilliseconds = 5000;

std::atomic<AuthorisationPrompt> g_prompt{AuthorisationPrompt::None};

// The parts of sd-bus a request uses. The library is loaded the first time
// a disk is asked of the service, not as every program starts: most runs
// read an image, or a disk the user may read, and never need the bus.
struct SdBus {
    decltype(&sd_bus_open_system) openSystem = nullptr;
    decltype(&sd_bus_flush_close_unref) flushCloseUnref = nullptr;
    decltype(&sd_bus_message_new_method_call) newMethodCall = nullptr;
    decltype(&sd_bus_message_append) append = nullptr;
    decltype(&sd_bus_message_set_allow_interactive_authorization) allowInteractiveAuthorization = nullptr;
    decltype(&sd_bus_call) call = nullptr;
    decltype(&sd_bus_message_enter_container) enterContainer = nullptr;
    decltype(&sd_bus_message_read) read = nullptr;
    decltype(&sd_bus_message_unref) unref = nullptr;
    decltype(&sd_bus_error_free) errorFree = nullptr;
};

// The loaded library, or null with why it could not be loaded.
const SdBus* LoadSdBus(std::string& why) {
    static std::once_flag once;
    static SdBus bus;
    static bool loaded = false;
    static std::string failure;
    std::call_once(once, [] {
        // Never closed: the functions stay in use for the process's life.
        void* library = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* error = ::dlerror();
            failure = error != nullptr ? error : "libsystemd.so.0 cannot be loaded";
            return;
        }
        bool all = true;
        const auto find = [&](auto& function, const char* name) {
            void* symbol = ::dlsym(library, name);
            if (symbol == nullptr) {
                all = false;
                failure = std::string("libsystemd.so.0 lacks ") + name;
                return;
            }
            static_assert(sizeof(function) == sizeof(symbol));
            std::memcpy(&function, &symbol, sizeof(symbol));
        };
        find(bus.openSystem, "sd_bus_open_system");
        find(bus.flushCloseUnref, "sd_bus_flush_close_unref");
        find(bus.newMethodCall, "sd_bus_message_new_method_call");
        find(bus.append, "sd_bus_message_append");
        find(bus.allowInteractiveAuthorization, "sd_bus_message_set_allow_interactive_authorization");
        find(bus.call, "sd_bus_call");
        find(bus.enterContainer, "sd_bus_message_enter_container");
        find(bus.read, "sd_bus_message_read");
        find(bus.unref, "sd_bus_message_unref");
        find(bus.errorFree, "sd_bus_error_free");
        loaded = all;
    });
    why = failure;
    return loaded ? &bus : nullptr;
}

// Frees the sd-bus objects of one request whatever path it leaves by.
struct BusRequest {
    explicit BusRequest(const SdBus& library) : api(library) {}
    const SdBus& api;
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;

    BusRequest(const BusRequest&) = delete;
    BusRequest& operator=(const BusRequest&) = delete;
    ~BusRequest() {
        Reset();
        api.flushCloseUnref(bus);
    }
    void Reset() {
        call = api.unref(call);
        reply = api.unref(reply);
        api.errorFree(&error);
        error = SD_BUS_ERROR_NULL;
    }
};

ServiceOpenResult Outcome(ServiceAccess access, std::string detail = {}) {
    ServiceOpenResult result;
    result.access = access;
    result.detail = std::move(detail);
    return result;
}

std::string ErrorText(const sd_bus_error& error, int r) {
    if (error.message != nullptr && *error.message != '\0') return error.message;
    if (error.name != nullptr) return error.name;
    return std::strerror(-r);
}

// Errors that mean there is no disk service to ask, as opposed to one that said no.
bool ServiceIsMissing(const sd_bus_error& error) {
    if (error.name == nullptr) return false;
    const std::string_view name = error.name;
    return name == SD_BUS_ERROR_SERVICE_UNKNOWN || name == SD_BUS_ERROR_NAME_HAS_NO_OWNER ||
           name == SD_BUS_ERROR_NO_SERVER || name.starts_with("org.freedesktop.DBus.Error.Spawn.");
}

bool IsRefusal(const sd_bus_error& error) {
    if (error.name == nullptr) return false;
    const std::string_view name = error.name;
    // NotAuthorized, NotAuthorizedCanObtain, NotAuthorizedDismissed; a cancelled dialog.
    return name.starts_with("org.freedesktop.UDisks2.Error.NotAuthorized") ||
           name == "org.freedesktop.UDisks2.Error.Cancelled" || name == SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED;
}

// A text authentication agent registered for this process only, so that
// polkit asks for the password on the terminal the command runs in. Stopped
// when the request is over.
class TerminalAgent {
public:
    TerminalAgent() {
        const std::string program = "pkttyagent";
        if (!ProgramExists(program)) return;
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
        // The write end goes to the agent as descriptor 3; it closes it once
        // it is registered (or ends, when it cannot be).
        constexpr int kNotifyFd = 3;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int writeEnd = pipeFds[1];
        if (writeEnd == kNotifyFd) writeEnd = ::fcntl(pipeFds[1], F_DUPFD_CLOEXEC, 10);
        posix_spawn_file_actions_adddup2(&actions, writeEnd, kNotifyFd);
        const std::string process = std::to_string(::getpid());
        const std::string notify = std::to_string(kNotifyFd);
        const char* argv[] = {program.c_str(), "--process", process.c_str(), "--notify-fd", notify.c_str(), nullptr};
        pid_t pid = -1;
        if (::posix_spawnp(&pid, program.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ) == 0)
            pid_ = pid;
        posix_spawn_file_actions_destroy(&actions);
        if (writeEnd != pipeFds[1]) ::close(writeEnd);
        ::close(pipeFds[1]);
        if (pid_ > 0) WaitUntilRegistered(pipeFds[0]);
        ::close(pipeFds[0]);
    }
    TerminalAgent(const TerminalAgent&) = delete;
    TerminalAgent& operator=(const TerminalAgent&) = delete;
    ~TerminalAgent() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }

private:
    // Reads the notification pipe until it closes, for a bounded time.
    static void WaitUntilRegistered(int readEnd) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAgentStartMilliseconds);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            pollfd p{readEnd, POLLIN, 0};
            int n = ::poll(&p, 1, static_cast<int>(left.count()));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            char byte;
            ssize_t got = ::read(readEnd, &byte, 1);
            if (got == 0) return;  // closed: registered, or the agent gave up
            if (got < 0 && errno != EINTR && errno != EAGAIN) return;
        }
    }

    pid_t pid_ = -1;
};

// The descriptor must be open for reading only, on the device devicePath names.
bool IsReadOnlyOnDevice(int fd, const std::string& devicePath) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY) return false;
    struct stat given {};
    struct stat named {};
    if (::fstat(fd, &given) != 0 || ::stat(devicePath.c_str(), &named) != 0) return false;
    return S_ISBLK(given.st_mode) && S_ISBLK(named.st_mode) && given.st_rdev == named.st_rdev;
}

}  // namespace

void SetAuthorisationPrompt(AuthorisationPrompt prompt) { g_prompt.store(prompt); }
AuthorisationPrompt CurrentAuthorisationPrompt() { return g_prompt.load(); }

ServiceOpenResult OpenThroughDiskService(const std::string& devicePath, AuthorisationPrompt prompt) {
    std::string why;
    const SdBus* library = LoadSdBus(why);
    if (library == nullptr) return Outcome(ServiceAccess::Unavailable, "no system bus: " + why);
    const SdBus& api = *library;
    BusRequest request(api);
    int r = api.openSystem(&request.bus);
    if (r < 0) return Outcome(ServiceAccess::Unavailable, std::string("no system bus: ") + std::strerror(-r));

    // The device's object on the service.
    r = api.newMethodCall(request.bus, &request.call, kService, kManagerPath, kManagerInterface,
                                       "ResolveDevice");
    if (r >= 0) r = api.append(request.call, "a{sv}", 1, "path", "s", devicePath.c_str());
    if (r >= 0) r = api.append(request.call, "a{sv}", 0);
    if (r < 0) return Outcome(ServiceAccess::Failed, std::strerror(-r));
    r = api.call(request.bus, request.call, kQuickCallMicroseconds, &request.error, &request.reply);
    if (r < 0) {
        if (ServiceIsMissing(request.error) || r == -ENOENT || r == -ECONNREFUSED)
            return Outcome(ServiceAccess::Unavailable, ErrorText(request.error, r));
        return Outcome(ServiceAccess::Failed, ErrorText(request.error, r));
    }
    const char* objectPath = nullptr;
    r = api.enterContainer(request.reply, 'a', "o");
    if (r > 0) r = api.read(request.reply, "o", &objectPath);
    if (r <= 0 || objectPath == nullptr)
        return Outcome(ServiceAccess::Failed, "the disk service does not know " + devicePath);
    const std::string object = objectPath;
    request.Reset();

    // Read-only, whatever else the service would allow.
    const bool interactive = prompt != AuthorisationPrompt::None;
    r = api.newMethodCall(request.bus, &request.call, kService, object.c_str(), kBlockInterface,
                                       "OpenDevice");
    if (r >= 0) r = api.append(request.call, "s", "r");
    if (r >= 0) r = api.append(request.call, "a{sv}", 1, "auth.no_user_interaction", "b", interactive ? 0 : 1);
    if (r >= 0) r = api.allowInteractiveAuthorization(request.call, interactive ? 1 : 0);
    if (r < 0) return Outcome(ServiceAccess::Failed, std::strerror(-r));
    {
        std::optional<TerminalAgent> agent;
        if (prompt == AuthorisationPrompt::Terminal) agent.emplace();
        r = api.call(request.bus, request.call, interactive ? kInteractiveCallMicroseconds : kQuickCallMicroseconds,
                        &request.error, &request.reply);
    }
    if (r < 0) {
        if (IsRefusal(request.error)) return Outcome(ServiceAccess::Refused, ErrorText(request.error, r));
        if (ServiceIsMissing(request.error)) return Outcome(ServiceAccess::Unavailable, ErrorText(request.error, r));
        return Outcome(ServiceAccess::Failed, ErrorText(request.error, r));
    }
    int handed = -1;
    r = api.read(request.reply, "h", &handed);
    if (r <= 0 || handed < 0) return Outcome(ServiceAccess::Failed, "the disk service sent no descriptor");
    // The reply owns its descriptor; keep a copy of our own.
    const int fd = ::fcntl(handed, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return Outcome(ServiceAccess::Failed, std::strerror(errno));
    if (!IsReadOnlyOnDevice(fd, devicePath)) {
        ::close(fd);
        return Outcome(ServiceAccess::Failed, "the descriptor it sent is not open read-only on " + devicePath);
    }
    ServiceOpenResult result = Outcome(ServiceAccess::Granted);
    result.fd = fd;
    return result;
}

std::string ServiceAccessText(const std::string& devicePath, ServiceAccess access, const std::string& detail) {
    const std::string head = "reading " + devicePath + " needs administrator rights";
    switch (access) {
        case ServiceAccess::NotAsked:
        case ServiceAccess::Granted: return {};
        case ServiceAccess::Refused: return head + "; access was not granted";
        case ServiceAccess::Unavailable:
            return head + ", and udisks2, the system's disk service that grants them, is not available here: "
                          "run pictora-cli with sudo";
        case ServiceAccess::Failed:
            return head + "; the system's disk service could not open it read-only" +
                   (detail.empty() ? std::string() : ": " + detail);
    }
    return {};
}

}  // namespace zt::platform
