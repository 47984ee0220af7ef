// The commands of pictora-cli and the options each accepts, as the shell
// completion and the manual page are built from them. A command's --help
// text shows the same options; the completion test holds the two equal, so
// an option added to a command's parser and help goes here too.
#pragma once

#include <array>
#include <span>
#include <string_view>

namespace zt::cli {

// What the shell may offer after an option.
enum class OptionValue {
    None,      // a switch; nothing follows it
    Words,     // one of the words of the value text, separated by '|'
    TypeList,  // "all" or file types of the catalogue, separated by ','
    Folder,    // an existing folder
    Free,      // free text (a range, TYPE=KB): nothing to offer
};

struct CliOption {
    std::string_view name;   // with its dashes: "--bad-sectors"
    std::string_view value;  // as the help text shows it after the name; empty for a switch
    OptionValue kind = OptionValue::None;
};

struct CliCommand {
    std::string_view name;
    bool takesPaths = false;  // SOURCE (and DEST_DIR) are files or folders
    std::span<const CliOption> options;
};

inline constexpr CliOption kScanOptions[] = {
    {"--range", "START:END", OptionValue::Free},
    {"--types", "all|T1,T2,..", OptionValue::TypeList},
    {"--signatures", "extended|standard", OptionValue::Words},
    {"--max-size", "TYPE=KB", OptionValue::Free},
    {"--file-system", "auto|off", OptionValue::Words},
    {"--list", "", OptionValue::None},
    {"--bad-sectors", "ask|retry|skip", OptionValue::Words},
    {"--save", "DIR", OptionValue::Folder},
    {"--overwrite", "ask|yes|no", OptionValue::Words},
    {"--help", "", OptionValue::None},
};

inline constexpr CliOption kImageOptions[] = {
    {"--range", "START:END", OptionValue::Free},
    {"--multifile", "", OptionValue::None},
    {"--bad-sectors", "ask|retry|skip", OptionValue::Words},
    {"--help", "", OptionValue::None},
};

inline constexpr CliOption kDevicesOptions[] = {
    {"--json", "", OptionValue::None},
    {"--help", "", OptionValue::None},
};

inline constexpr std::array<CliCommand, 3> kCliCommands{{
    {"scan", true, kScanOptions},
    {"image", true, kImageOptions},
    {"devices", false, kDevicesOptions},
}};

// What the first word may be besides a command's name.
inline constexpr std::array<std::string_view, 2> kTopLevelWords{"help", "--help"};

}  // namespace zt::cli
