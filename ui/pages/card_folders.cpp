#include "ui/pages/card_folders.h"

#include <QStyle>
#include <QTreeWidgetItem>
#include <map>

#include "ui/controls/CFolderTreeCtrl.h"

namespace zt::ui {

namespace {

constexpr int KeyRole = Qt::UserRole + 1;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

std::vector<CardFile> CardFiles(const FoundFileList& found) {
    const std::vector<FileInfo> records = found.Snapshot();
    std::vector<CardFile> files;
    for (const auto& [index, named] : found.NamedSnapshot()) {
        if (index >= records.size()) continue;
        const std::size_t slash = named.path.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : named.path.substr(0, slash);
        files.push_back({std::string(records[index].FileName()), records[index].type,
                         folder.empty() ? named.volume : named.volume + "/" + folder,
                         slash == std::string::npos ? named.path : named.path.substr(slash + 1)});
    }
    return files;
}

std::vector<QTreeWidgetItem*> AddCardFolders(CFolderTreeCtrl& tree, const std::vector<CardFile>& files) {
    // Every folder that holds a file, and every folder above it, by key;
    // a map keeps the keys (and so each folder's children) in name order.
    std::map<std::string, std::string> folders;  // key -> name shown
    std::vector<std::string> volumes;
    for (const CardFile& f : files) {
        std::string key = f.folder;
        while (!key.empty() && !folders.contains(key)) {
            const std::size_t slash = key.rfind('/');
            folders.emplace(key, slash == std::string::npos ? key : key.substr(slash + 1));
            if (slash == std::string::npos) {
                volumes.push_back(key);
                break;
            }
            key.resize(slash);
        }
    }
    QIcon icon = tree.style()->standardIcon(QStyle::SP_DirClosedIcon);
    icon.addPixmap(tree.style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16), QIcon::Selected);
    std::map<std::string, QTreeWidgetItem*> nodes;
    std::vector<QTreeWidgetItem*> roots;
    // A parent's key sorts before its children's, so it is made first.
    for (const auto& [key, name] : folders) {
        const std::size_t slash = key.rfind('/');
        QTreeWidgetItem* parent = slash == std::string::npos ? nullptr : nodes.at(key.substr(0, slash));
        QTreeWidgetItem* node = tree.AddItem(parent, FromUtf8(name));
        node->setData(0, KeyRole, FromUtf8(key));
        node->setIcon(0, parent == nullptr ? tree.style()->standardIcon(QStyle::SP_DriveHDIcon) : icon);
        nodes.emplace(key, node);
    }
    for (const std::string& volume : volumes) roots.push_back(nodes.at(volume));
    return roots;
}

QString CardFolderKey(const QTreeWidgetItem* item) {
    return item == nullptr ? QString() : item->data(0, KeyRole).toString();
}

std::vector<CardFile> FilesInFolder(const std::vector<CardFile>& files, const std::string& key, bool below) {
    std::vector<CardFile> in;
    for (const CardFile& f : files) {
        if (f.folder == key || (below && f.folder.starts_with(key + "/"))) in.push_back(f);
    }
    return in;
}

}  // namespace zt::ui
