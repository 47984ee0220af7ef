#include "ui/dialogs/folder_browser.h"

#include <QFileDialog>
#include <utility>

namespace zt::ui {
namespace {

BrowseHandler& Handler() {
    static BrowseHandler handler;
    return handler;
}

}  // namespace

QString Browse(const BrowseRequest& request) {
    if (Handler()) {
        return Handler()(request);
    }
    if (request.kind == BrowseKind::Folder) {
        return QFileDialog::getExistingDirectory(request.owner, request.title, QString(),
                                                 QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    }
    return QFileDialog::getOpenFileName(request.owner, request.title, QString(),
                                        QStringLiteral("Disk images (*.dd *.img *.raw *.bin *.iso);;All files (*)"));
}

void SetBrowseHandler(BrowseHandler handler) { Handler() = std::move(handler); }

}  // namespace zt::ui
