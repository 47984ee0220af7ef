// What the scan page's parts (the results view and the preview panel) use of
// the session: the source the found files are read back from, the types the
// scan looked for and the found files themselves. The page makes it from the
// session; the parts see nothing else of it.
#pragma once

#include "core/scan/catalogue.h"
#include "core/scan/found_file_list.h"
#include "core/source/bad_sector_policy.h"
#include "core/source/source_descriptor.h"
#include "platform/destination.h"
#include "platform/raw_io.h"

namespace zt::ui {

struct ScanPageParts {
    const SourceDescriptor& source;
    BadSectorPolicyState& badSectors;
    platform::RawIo& io;
    platform::Destination& destination;  // where a preview's file is written
    const TypeDefinitionList& types;
    FoundFileList& found;
};

}  // namespace zt::ui
