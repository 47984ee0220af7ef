// pictora-cli: the command-line face of Zentrix for Pictora.
#include <iostream>
#include <string>
#include <vector>

#include "app/session.h"
#include "cli/commands.h"
#include "cli/common.h"
#include "platform/disk_service.h"
#include "platform/terminal.h"

namespace {

struct Subcommand {
    std::string_view name;
    std::string_view summary;
    int (*run)(zt::Session&, std::span<const std::string>);
};

constexpr Subcommand kSubcommands[] = {
    {"scan", "find photos, sound and video on a disk, a disk image or an image set", zt::cli::ScanCommand},
    {"image", "copy a disk, a disk image or an image set into an image set", zt::cli::ImageCommand},
    {"devices", "list the drives and disks that can be read, with their details", zt::cli::DevicesCommand},
};

void PrintUsage(std::ostream& out) {
    out << "Usage: pictora-cli COMMAND [arguments]\n\n"
           "Zentrix for Pictora gets back photos, sound and video from memory cards, disks\n"
           "and disk images. It only ever reads the medium.\n\nCommands:\n";
    for (const Subcommand& c : kSubcommands) {
        std::string name(c.name);
        name.resize(8, ' ');
        out << "  " << name << c.summary << '\n';
    }
    out << "\n'pictora-cli COMMAND --help' describes a command.\n";
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on the output (pictora-cli scan --list | head) must not
    // end a save or an imaging run half way.
    zt::platform::IgnoreWriteSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return zt::cli::ExitUsage;
    }
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(std::cout);
        return zt::cli::ExitOk;
    }
    // The first start acts as the installation, so the activity log has a folder.
    zt::SystemSession system;
    // A disk the user may not read is asked of the system's disk service; the
    // password is asked on the terminal, and without one nobody waits for it.
    zt::platform::SetAuthorisationPrompt(zt::platform::StdinIsTerminal() ? zt::platform::AuthorisationPrompt::Terminal
                                                                          : zt::platform::AuthorisationPrompt::None);
    for (const Subcommand& c : kSubcommands) {
        if (c.name == command) return c.run(system.Get(), std::span<const std::string>(args).subspan(1));
    }
    zt::cli::PrintError("unknown command '" + command + "'");
    PrintUsage(std::cerr);
    return zt::cli::ExitUsage;
}
