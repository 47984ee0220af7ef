// Every folder and file browser of the desktop program goes through here, so
// that widget tests can answer them instead of a user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace zt::ui {

enum class BrowseKind {
    Folder,     // an existing folder of the file system
    ImageFile,  // an existing file, disk images offered first
};

struct BrowseRequest {
    QWidget* owner = nullptr;
    QString title;
    BrowseKind kind = BrowseKind::Folder;
};

using BrowseHandler = std::function<QString(const BrowseRequest&)>;

// Shows the browser modally; the chosen path, or an empty text when cancelled.
[[nodiscard]] QString Browse(const BrowseRequest& request);

// Replaces the real browsers by handler (an empty handler restores them).
void SetBrowseHandler(BrowseHandler handler);

}  // namespace zt::ui
