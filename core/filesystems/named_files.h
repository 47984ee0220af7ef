// Puts the files the card's file systems list among the found files: each
// under the scan's type its name or its header points to, with its path,
// time, state and pieces beside the record; files of types not looked for
// are left out, and a carved record that starts where a named file starts is
// replaced by it, so that each file is shown once.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/filesystems/file_system_pass.h"
#include "core/scan/catalogue.h"
#include "core/scan/found_file_list.h"
#include "core/scan/scan_driver.h"
#include "logs/activity_entries.h"

namespace zt::fs {

// The position in types of the type a file of this name and first sector
// is, by its extension first (JPG is JPEG), else by its header.
std::optional<std::size_t> NamedFileType(std::string_view name, std::span<const std::uint8_t> firstSector,
                                         const TypeDefinitionList& types);

struct NamedFilesAdded {
    std::size_t added = 0;     // named records appended
    std::size_t replaced = 0;  // carved records dropped for them
};

// Rebuilds found: the carved records not replaced, in their order, then the
// named files in the order the trees listed them. Numbers of the named
// records continue each type's count.
NamedFilesAdded AddNamedFiles(FileSystemPass& pass, TypeDefinitionList& types, FoundFileList& found);

// Hooks the pass into a scan: the trees are read on the scan's thread before
// its first chunk (their unreadable sectors count with the scan's, and the
// progress keeps going), its chunks are examined for folders, and after the
// last one the orphans (unless the scan was stopped) and the named files join
// the found files. The pass, types and found must outlive the scan.
void ReadWithScan(ScanCallbacks& callbacks, FileSystemPass& pass, TypeDefinitionList& types, FoundFileList& found);

// The activity log's line of each file system the pass found.
std::vector<FileSystemLine> FileSystemLines(const FileSystemPass& pass);

}  // namespace zt::fs
