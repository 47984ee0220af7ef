// The results tree's second kind of root: the folders of each file system
// the scan read, holding the files it named, beside the roots by type. A
// folder node keeps its folder's key, by which the page lists and ticks the
// files in it.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "core/scan/found_file_list.h"

class QTreeWidgetItem;

namespace zt::ui {

class CFolderTreeCtrl;

struct CardFile {
    std::string record;  // the found file's name in the list, "File3.JPEG"
    TypeId type = kNoType;  // its type
    std::string folder;  // its folder's key: the file system, then the card's folders ("FAT32 at sector 0/DCIM")
    std::string name;    // its name on the card
};

// The named files of the list, in its order.
[[nodiscard]] std::vector<CardFile> CardFiles(const FoundFileList& found);

// Adds a root for each file system (in the order its files come) and its
// folders below it, in name order; returns the roots.
std::vector<QTreeWidgetItem*> AddCardFolders(CFolderTreeCtrl& tree, const std::vector<CardFile>& files);

// The key of a folder node, empty for any other node.
[[nodiscard]] QString CardFolderKey(const QTreeWidgetItem* item);

// The files in the folder with this key, or (below) in it and its subfolders.
[[nodiscard]] std::vector<CardFile> FilesInFolder(const std::vector<CardFile>& files, const std::string& key, bool below);

}  // namespace zt::ui
