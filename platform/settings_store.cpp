#include "platform/settings_store.h"

#include <atomic>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/files.h"
#include "platform/raw_io.h"

namespace zt::platform {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool HasSurroundingBlanks(std::string_view s) { return !s.empty() && (IsBlank(s.front()) || IsBlank(s.back())); }

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// True when key lies below parent (at any depth).
bool IsBelow(std::string_view key, std::string_view parent) {
    return key.size() > parent.size() + 1 && key[parent.size()] == '\\' &&
           EqualNoCase(key.substr(0, parent.size()), parent);
}

const char kFileHeader[] =
    "; Zentrix for Pictora settings. Each [key] is followed by its values as name=value;\n"
    "; a value runs from the first '=' to the end of the line.\n";

}  // namespace

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

// ---- SettingsTree ----------------------------------------------------------

bool SettingsTree::IsValidKey(std::string_view key) {
    if (key.empty() || HasLineBreakOrNul(key) || key.find_first_of("[]") != key.npos) return false;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = key.find('\\', start);
        std::string_view part = key.substr(start, end == key.npos ? key.npos : end - start);
        if (part.empty() || HasSurroundingBlanks(part)) return false;
        if (end == key.npos) return true;
        start = end + 1;
    }
}

bool SettingsTree::IsValidValueName(std::string_view name) {
    if (HasLineBreakOrNul(name) || name.find('=') != name.npos || HasSurroundingBlanks(name)) return false;
    return name.empty() || (name.front() != '[' && name.front() != ';' && name.front() != '#');
}

bool SettingsTree::IsValidValue(std::string_view value) { return !HasLineBreakOrNul(value); }

bool SettingsTree::HasKey(std::string_view key) const { return keys_.find(key) != keys_.end(); }

bool SettingsTree::CreateKey(std::string_view key) {
    if (!IsValidKey(key)) return false;
    for (std::size_t pos = key.find('\\'); pos != key.npos; pos = key.find('\\', pos + 1)) {
        keys_.try_emplace(std::string(key.substr(0, pos)));
    }
    keys_.try_emplace(std::string(key));
    return true;
}

bool SettingsTree::DeleteKey(std::string_view key) {
    auto it = keys_.find(key);
    if (it == keys_.end()) return false;
    keys_.erase(it);
    // Subkeys sort right after their parent only when no sibling name sorts
    // between, so scan everything rather than a range.
    std::erase_if(keys_, [key](const auto& entry) { return IsBelow(entry.first, key); });
    return true;
}

std::optional<std::string> SettingsTree::FindValue(std::string_view key, std::string_view name) const {
    auto k = keys_.find(key);
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

std::string SettingsTree::Value(std::string_view key, std::string_view name) const {
    return FindValue(key, name).value_or(std::string());
}

bool SettingsTree::SetValue(std::string_view key, std::string_view name, std::string_view value) {
    if (!IsValidValueName(name) || !IsValidValue(value) || !CreateKey(key)) return false;
    Values& values = keys_.find(key)->second;
    auto it = values.find(name);
    if (it == values.end()) {
        values.emplace(std::string(name), std::string(value));
    } else {
        it->second = value;
    }
    return true;
}

bool SettingsTree::DeleteValue(std::string_view key, std::string_view name) {
    auto k = keys_.find(key);
    if (k == keys_.end()) return false;
    auto v = k->second.find(name);
    if (v == k->second.end()) return false;
    k->second.erase(v);
    return true;
}

std::vector<std::string> SettingsTree::ValueNames(std::string_view key) const {
    std::vector<std::string> names;
    auto k = keys_.find(key);
    if (k == keys_.end()) return names;
    for (const auto& [name, value] : k->second) names.push_back(name);
    return names;
}

std::vector<std::string> SettingsTree::Subkeys(std::string_view key) const {
    std::vector<std::string> names;
    for (const auto& [path, values] : keys_) {
        if (IsBelow(path, key) && path.find('\\', key.size() + 1) == std::string::npos) {
            names.push_back(path.substr(key.size() + 1));
        }
    }
    return names;
}

std::string SettingsTree::Serialize() const {
    std::string text = kFileHeader;
    for (const auto& [key, values] : keys_) {
        text += "\n[" + key + "]\n";
        for (const auto& [name, value] : values) text += name + "=" + value + "\n";
    }
    return text;
}

std::optional<SettingsTree> SettingsTree::Parse(std::string_view text) {
    if (text.find('\0') != text.npos) return std::nullopt;
    SettingsTree tree;
    std::string currentKey;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == text.npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // edited on Windows

        std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
        if (trimmed.front() == '[') {
            if (trimmed.back() != ']') return std::nullopt;
            std::string_view key = trimmed.substr(1, trimmed.size() - 2);
            if (!tree.CreateKey(key)) return std::nullopt;
            currentKey = key;
            continue;
        }
        std::size_t eq = line.find('=');
        if (currentKey.empty() || eq == line.npos) return std::nullopt;
        if (!tree.SetValue(currentKey, Trim(line.substr(0, eq)), line.substr(eq + 1))) return std::nullopt;
    }
    return tree;
}

bool SettingsTree::operator==(const SettingsTree& other) const {
    // Names compare without case, but a change of case is still a change to store.
    auto sameKeys = [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; };
    return std::equal(keys_.begin(), keys_.end(), other.keys_.begin(), other.keys_.end(), sameKeys);
}

// ---- SettingsStore shorthands ------------------------------------------------

std::string SettingsStore::ReadValue(std::string_view key, std::string_view name) const {
    return Load().Value(key, name);
}

bool SettingsStore::KeyExists(std::string_view key) const { return Load().HasKey(key); }

std::vector<std::string> SettingsStore::ValueNames(std::string_view key) const { return Load().ValueNames(key); }

std::vector<std::string> SettingsStore::Subkeys(std::string_view key) const { return Load().Subkeys(key); }

bool SettingsStore::WriteValue(std::string_view key, std::string_view name, std::string_view value) {
    return Update([&](SettingsTree& tree) { return tree.SetValue(key, name, value); });
}

bool SettingsStore::DeleteValue(std::string_view key, std::string_view name) {
    return Update([&](SettingsTree& tree) {
        tree.DeleteValue(key, name);
        return true;
    });
}

bool SettingsStore::CreateKey(std::string_view key) {
    return Update([&](SettingsTree& tree) { return tree.CreateKey(key); });
}

bool SettingsStore::DeleteKey(std::string_view key) {
    return Update([&](SettingsTree& tree) {
        tree.DeleteKey(key);
        return true;
    });
}

// ---- MemorySettingsStore -----------------------------------------------------

SettingsTree MemorySettingsStore::Load() const {
    std::lock_guard lock(mutex_);
    return tree_;
}

bool MemorySettingsStore::Update(const std::function<bool(SettingsTree&)>& edit) {
    std::lock_guard lock(mutex_);
    SettingsTree changed = tree_;
    if (!edit(changed)) return false;
    tree_ = std::move(changed);
    return true;
}

// ---- FileSettingsStore ---------------------------------------------------------

namespace {

struct LoadedFile {
    FileSettingsStore::FileState state = FileSettingsStore::FileState::Missing;
    SettingsTree tree;
};

// Far more than the program ever stores; a larger file is not ours, and
// reading it whole would slow every settings lookup.
constexpr std::uint64_t kMaxSettingsBytes = 1 << 20;

LoadedFile LoadFile(const std::string& path) {
    LoadedFile loaded;
    FileContent content = ReadWholeFile(path, kMaxSettingsBytes);
    if (content.error == ENOENT) return loaded;
    if (content.error == EFBIG) {
        loaded.state = FileSettingsStore::FileState::Corrupt;
        return loaded;
    }
    if (content.error != 0) {
        if (content.error == EINVAL) {
            static std::atomic<bool> told{false};
            if (!told.exchange(true)) {
                std::fprintf(stderr, "pictora: %s is not a regular file; the settings are neither read nor kept\n",
                             path.c_str());
            }
        }
        loaded.state = FileSettingsStore::FileState::Unreadable;
        return loaded;
    }
    auto tree = SettingsTree::Parse(content.bytes);
    if (!tree) {
        loaded.state = FileSettingsStore::FileState::Corrupt;
        return loaded;
    }
    loaded.state = FileSettingsStore::FileState::Valid;
    loaded.tree = std::move(*tree);
    return loaded;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Writes text to a new file beside path and returns the errno of a failure.
// Whatever had the temporary name (a file left by a crash, or a link planted
// there) is removed first, and the file is made anew without following a
// link: the settings never overwrite anything else.
int WriteTemporary(const std::string& temporary, const std::string& text, mode_t mode) {
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) return errno;
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.Valid()) return errno;
    if (int error = PwriteFull(fd.Get(), text.data(), text.size(), 0); error != 0) return error;
    // The rename must not become visible before the data is on the medium,
    // or a power cut could leave an empty store.
    if (::fsync(fd.Get()) != 0) return errno;
    return 0;
}

void SyncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) ::fsync(fd.Get());
}

}  // namespace

SettingsTree FileSettingsStore::Load() const { return LoadFile(path_).tree; }

FileSettingsStore::FileState FileSettingsStore::State() const { return LoadFile(path_).state; }

bool FileSettingsStore::Update(const std::function<bool(SettingsTree&)>& edit) {
    if (path_.empty()) return false;
    const std::string folder = FolderOf(path_);
    if (!MakeDirectories(folder, 0700)) return false;

    // A link at the lock's name would make the open create or open its target.
    UniqueFd lock(::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!lock.Valid()) return false;
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }

    // Read again under the lock: another writer may have stored values since.
    LoadedFile current = LoadFile(path_);
    if (current.state == FileState::Unreadable) return false;
    SettingsTree changed = current.tree;
    if (!edit(changed)) return false;
    if (changed == current.tree && current.state != FileState::Corrupt) return true;

    mode_t mode = 0600;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;

    const std::string temporary = path_ + ".tmp";
    if (WriteTemporary(temporary, changed.Serialize(), mode) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // A file we could not parse may still hold something the user wants:
    // keep its bytes aside instead of overwriting them.
    if (current.state == FileState::Corrupt) {
        // Each damaged file keeps its own copy: a later one never replaces an earlier.
        std::string aside = path_ + ".corrupt";
        struct stat existing {};
        for (int n = 1; ::lstat(aside.c_str(), &existing) == 0; ++n) aside = path_ + ".corrupt." + std::to_string(n);
        if (::rename(path_.c_str(), aside.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        std::fprintf(stderr, "pictora: the settings in %s could not be read and were reset; the old file is kept as %s\n",
                     path_.c_str(), aside.c_str());
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

std::string DefaultSettingsPath() {
    if (auto dir = EnvironmentValue("ZT_REGISTRY_DIR"); dir && !dir->empty()) return JoinPath(*dir, "registry.ini");
    std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty()) return {};
    return JoinPath(JoinPath(config, "zentrix-pictora"), "registry.ini");
}

SettingsStore& SystemSettingsStore() {
    static FileSettingsStore store(DefaultSettingsPath());
    return store;
}

}  // namespace zt::platform
