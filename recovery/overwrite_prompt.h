// The question put before an existing file is replaced. The desktop program
// shows its dialog, the command line asks on the terminal, tests answer from
// a script. The saving run acts on the answer and keeps the answers that
// cover every later file.
#pragma once

#include <string>
#include <string_view>

namespace zt {

enum class OverwriteAnswer {
    Yes,       // "&Yes": replace this file
    YesToAll,  // "Y&es to All": replace this one and every later one of the run
    No,        // "&No": keep this file
    NoToAll,   // "N&o to ALL": keep this one and every later one of the run
    Closed,    // closed without an answer (Esc): keep this file, remember nothing
};

class OverwritePrompt {
public:
    virtual ~OverwritePrompt() = default;
    // Called on the saving thread with the file's name alone; blocks until answered.
    virtual OverwriteAnswer Ask(const std::string& fileName) = 0;
};

// "\"File1.JPEG\" this file is already exist."
std::string OverwriteQuestionText(std::string_view fileName);
inline constexpr char kOverwriteQuestionSecondLine[] = "Would you like to replace the existing file ?";

}  // namespace zt
