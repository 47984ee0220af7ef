// Opening a disk the user may not open, through the system's disk service
// (udisks2 on the system bus, which asks polkit whether the user may).
//
// The desktop program and pictora-cli run as the user; a card or disk node
// is root's. When a plain read-only open of a block device is refused for
// lack of rights, the raw I/O seam asks udisks2 for a read-only descriptor
// instead, and everything above the seam reads it as if it had opened the
// device itself. The bus comes from DBUS_SYSTEM_BUS_ADDRESS when that is
// set, so tests can run a bus and a service of their own.
#pragma once

#include <string>

namespace zt::platform {

// How the authorisation may ask for the user's password.
enum class AuthorisationPrompt {
    None,      // never wait for the user (no terminal, scripts): refuse at once
    Desktop,   // the desktop session's own authentication agent shows its dialog
    Terminal,  // a text agent for this process (pkttyagent) asks on the terminal
};

// What the service did with a request; OpenResult carries it to the caller.
enum class ServiceAccess {
    NotAsked,        // the service was not involved
    Granted,         // the service handed over a read-only descriptor
    Refused,         // not authorised: the password was refused, cancelled or not asked for
    Unavailable,     // no system bus, or no udisks2 on it
    Failed,          // udisks2 answered but could not hand over a read-only descriptor
};

struct ServiceOpenResult {
    int fd = -1;  // read-only descriptor of the device, owned by the caller, when opened
    ServiceAccess access = ServiceAccess::NotAsked;
    std::string detail;  // the service's own error text, for Failed
};

// Asks udisks2 to open the block device at devicePath for reading only:
// Manager.ResolveDevice, then Block.OpenDevice with mode "r". The descriptor
// is accepted only when it is open read-only on the very device devicePath
// names. With AuthorisationPrompt::None the service is told not to ask.
ServiceOpenResult OpenThroughDiskService(const std::string& devicePath, AuthorisationPrompt prompt);

// The prompt the raw I/O seam uses. The front end sets it once at start-up
// (the desktop program Desktop; pictora-cli Terminal in a terminal, else
// None); it is None until then.
void SetAuthorisationPrompt(AuthorisationPrompt prompt);
AuthorisationPrompt CurrentAuthorisationPrompt();

// The message for a device the user may not read, by what the service said;
// empty for NotAsked. For example "reading /dev/sdb needs administrator
// rights; access was not granted".
std::string ServiceAccessText(const std::string& devicePath, ServiceAccess access, const std::string& detail);

}  // namespace zt::platform
