// Where a file the card's file system names is saved: under a folder for its
// file system, then its own folders and name. The names come from the card
// and are not trusted: each becomes one plain entry of its folder that any
// file system takes (no '/', no "..", no control characters, none of the
// characters FAT and NTFS refuse, no trailing dot or space, a bounded
// length), and two files that would get the same name, in any letter case,
// are told apart by a number, " (2)" before the extension.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zt {

// Bytes one cleaned name keeps at most, leaving room in the system's limit
// for a number and the temporary name a file is written under.
inline constexpr std::size_t kSavedNameBytes = 200;

// One name from a card as one entry of a destination folder.
std::string CleanSavedName(std::string_view name);

// The names given in one saving run. A card folder keeps the name it was
// given first for every file under it.
class SavedNamePlan {
public:
    // At most this many bytes for a path below the destination.
    explicit SavedNamePlan(std::size_t maxPathBytes) : maxPathBytes_(maxPathBytes) {}

    // The folders, then the file's name, that the file at path ('/'-separated)
    // of the file system whose folder is root is saved under; empty when the
    // path would be longer than the limit.
    std::vector<std::string> Place(std::string_view root, std::string_view path);

private:
    // name, or name with a number, free in the folder at parent ("" for the destination).
    std::string FreeName(const std::string& parent, const std::string& name);

    std::size_t maxPathBytes_;
    std::map<std::string, std::vector<std::string>> folders_;  // card folder path -> saved components
    std::set<std::string> taken_;                              // saved paths, letter case folded
};

}  // namespace zt
