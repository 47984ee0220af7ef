// cli-docs: writes the bash completion of pictora-cli and fills the file-type
// list of its manual page, at build time, from the command line's option
// table and the type catalogue, so that neither can fall behind a new option
// or a new format.
//
//   cli-docs completion OUT
//   cli-docs manual TEMPLATE OUT   (replaces the line @FILE_TYPES@)
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/option_table.h"
#include "core/scan/catalogue.h"

namespace {

using zt::cli::CliCommand;
using zt::cli::CliOption;
using zt::cli::OptionValue;

std::string Joined(const std::vector<std::string_view>& words) {
    std::string text;
    for (std::string_view word : words) {
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

// Every name --types accepts, in the type page's order.
std::vector<std::string_view> TypeNames() {
    std::vector<std::string_view> names;
    for (const zt::CatalogueRow& row : zt::CatalogueRows(zt::SignatureMode::Extended)) names.push_back(row.fileType);
    return names;
}

// The words of a value text such as "ask|retry|skip".
std::vector<std::string_view> ValueWords(std::string_view value) {
    std::vector<std::string_view> words;
    while (!value.empty()) {
        const std::size_t bar = value.find('|');
        words.push_back(value.substr(0, bar));
        value = bar == std::string_view::npos ? std::string_view{} : value.substr(bar + 1);
    }
    return words;
}

// The candidates compgen gives for its arguments, one per line, so that a
// file or folder name with spaces stays one candidate.
std::string Reply(const std::string& compgenArguments) {
    return "mapfile -t COMPREPLY < <(compgen " + compgenArguments + ")";
}
std::string ReplyWords(const std::vector<std::string_view>& words) {
    return Reply("-W \"" + Joined(words) + "\" -- \"$cur\"");
}

// The case arm that completes the value after `option`, or nothing for a switch.
std::string ValueArm(const CliOption& option) {
    const std::string head = "            " + std::string(option.name) + ")";
    switch (option.kind) {
        case OptionValue::None:
            return {};
        case OptionValue::Words:
            return head + " " + ReplyWords(ValueWords(option.value)) + "; return ;;\n";
        case OptionValue::Folder:
            return head + " " + Reply("-d -- \"$cur\"") + "; return ;;\n";
        case OptionValue::Free:
            return head + " return ;;\n";
        case OptionValue::TypeList: {
            // Completes the name after the last comma and keeps what precedes it.
            std::vector<std::string_view> names{"all"};
            for (std::string_view name : TypeNames()) names.push_back(name);
            return head + "\n                local typed=${cur##*,}\n                " +
                   Reply("-P \"${cur%\"$typed\"}\" -W \"" + Joined(names) + "\" -- \"$typed\"") +
                   "\n                return ;;\n";
        }
    }
    return {};
}

std::string Completion() {
    std::vector<std::string_view> first;
    for (const CliCommand& command : zt::cli::kCliCommands) first.push_back(command.name);
    for (std::string_view word : zt::cli::kTopLevelWords) first.push_back(word);

    std::ostringstream out;
    out << "# bash completion for pictora-cli\n"
           "_pictora_cli() {\n"
           "    local cur prev\n"
           "    COMPREPLY=()\n"
           "    cur=${COMP_WORDS[COMP_CWORD]}\n"
           "    prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
           "        "
        << ReplyWords(first)
        << "\n"
           "        return\n"
           "    fi\n"
           "    case \"${COMP_WORDS[1]}\" in\n";
    for (const CliCommand& command : zt::cli::kCliCommands) {
        std::vector<std::string_view> names;
        std::string arms;
        for (const CliOption& option : command.options) {
            names.push_back(option.name);
            arms += ValueArm(option);
        }
        out << "    " << command.name << ")\n";
        if (!arms.empty()) out << "        case \"$prev\" in\n" << arms << "        esac\n";
        out << "        if [[ $cur == -* ]]; then\n"
               "            "
            << ReplyWords(names) << '\n';
        if (command.takesPaths) out << "        else\n            " << Reply("-f -- \"$cur\"") << '\n';
        out << "        fi\n"
               "        ;;\n";
    }
    out << "    esac\n"
           "}\n"
           "complete -o filenames -F _pictora_cli pictora-cli\n";
    return out.str();
}

// Text for a roff line: a backslash is written \e, and a line may not
// begin with a control character.
std::string Roff(std::string_view text) {
    std::string out;
    if (!text.empty() && (text.front() == '.' || text.front() == '\'')) out += "\\&";
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    return out;
}

// The manual page's list of file types, grouped by the signature sets that
// look for them.
std::string ManualTypes() {
    struct Group {
        std::string_view heading;
        std::vector<zt::CatalogueRow> rows;
    };
    Group both{"Looked for with either signature set:", {}};
    Group extendedOnly{"Looked for with extended signatures only:", {}};
    Group listed{"Listed, but not looked for:", {}};
    for (const zt::CatalogueRow& row : zt::CatalogueRows(zt::SignatureMode::Extended)) {
        const bool standard = zt::LookupDefinition(row.fileType, zt::SignatureMode::Standard).has_value();
        const bool extended = zt::LookupDefinition(row.fileType, zt::SignatureMode::Extended).has_value();
        (!extended ? listed : standard ? both : extendedOnly).rows.push_back(row);
    }
    std::ostringstream out;
    out << ".SH FILE TYPES\n"
           ".B \\-\\-types\n"
           "and\n"
           ".B \\-\\-max\\-size\n"
           "take these names, in any letter case.\n";
    for (const Group* group : {&both, &extendedOnly, &listed}) {
        if (group->rows.empty()) continue;
        // One line per type, without the blank line between paragraphs.
        out << ".PP\n" << group->heading << "\n.PD 0\n";
        for (const zt::CatalogueRow& row : group->rows) {
            out << ".TP 8\n.B " << Roff(row.fileType) << '\n' << Roff(row.description) << '\n';
        }
        out << ".PD\n";
    }
    return out.str();
}

bool Write(const std::string& path, const std::string& text) {
    // Written beside its final name and renamed, so that an interrupted
    // build never leaves half a file for the next one to install.
    const std::string partial = path + ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::cerr << "cli-docs: cannot write " << partial << '\n';
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::cerr << "cli-docs: cannot rename " << partial << " to " << path << '\n';
        return false;
    }
    return true;
}

int Manual(const std::string& templatePath, const std::string& out) {
    std::ifstream in(templatePath, std::ios::binary);
    if (!in) {
        std::cerr << "cli-docs: cannot read " << templatePath << '\n';
        return 1;
    }
    std::string page;
    bool filled = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "@FILE_TYPES@") {
            page += ManualTypes();
            filled = true;
        } else {
            page += line + '\n';
        }
    }
    if (!filled) {
        std::cerr << "cli-docs: " << templatePath << " has no @FILE_TYPES@ line\n";
        return 1;
    }
    return Write(out, page) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "completion") return Write(args[1], Completion()) ? 0 : 1;
    if (args.size() == 3 && args[0] == "manual") return Manual(args[1], args[2]);
    std::cerr << "usage: cli-docs completion OUT | cli-docs manual TEMPLATE OUT\n";
    return 2;
}
