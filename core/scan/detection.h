// Decides for one sector whether a file of a selected type begins there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/source/source_descriptor.h"

namespace zt {

// True when the pattern's bytes stand at some start position 0..511 of the
// sector. The pattern may run past the sector into the bytes that follow, but
// only while all of it lies within `available` bytes from the sector's start.
bool FindPatternInSector(const SignaturePattern& pattern, const std::uint8_t* sector, std::size_t available);

// True when the confirmation text of typeName (if it has one) occurs in the
// sector as FindPatternInSector would find it. Types without a text pass.
bool ConfirmMaker(std::string_view typeName, const std::uint8_t* sector, std::size_t available);

// Takes the last 4D ?? ?? 53 sequence of an MKV header sector as the MKV end
// marker (the first footer of mkv). Leaves the footer alone when the sector
// has none.
void AdoptMatroskaFooter(stExtInfo& mkv, const std::uint8_t* sector, std::size_t available);

// Detection over one TypeDefinitionList. It keeps a reference to the list
// (MKV headers write their footer into it) and precomputes a dispatch on the
// bytes at the header offsets, so a sector that cannot start any selected
// type is rejected with a few table lookups. Build it after the list is
// complete; it does not see later additions or removals.
class SignatureDetector {
public:
    explicit SignatureDetector(TypeDefinitionList& list);

    // Returns the position in the list of the first definition (in list
    // order) whose header pattern, and confirmation where the type has one,
    // matches the sector; -1 when none does. On a match outName and
    // outSearchLimit receive the definition's name and search limit; on no
    // match they are left untouched. `available` counts the bytes from the
    // sector's start to the end of the buffer's data, at least 512.
    int MatchType(const std::uint8_t* sector, std::size_t available, std::string_view& outName,
                  std::int32_t& outSearchLimit);

private:
    struct Entry {
        int definition;
        int pattern;
        bool isMkv;
        std::string_view confirmation;
        // Up to the first four pattern bytes, compared as one word before the
        // full pattern is looked at.
        std::int32_t offset = 0;
        std::uint32_t prefix = 0;
        std::uint32_t prefixMask = 0;
    };
    struct OffsetGroup {
        std::int32_t offset;
        std::uint64_t firstByte[256];
        std::uint64_t secondByte[256];
    };

    bool TryEntry(const Entry& e, const std::uint8_t* sector, std::size_t available);
    int Accept(int definition, std::string_view& outName, std::int32_t& outSearchLimit) const;
    int MatchSlow(const std::uint8_t* sector, std::size_t available, std::string_view& outName,
                  std::int32_t& outSearchLimit);

    TypeDefinitionList& list_;
    std::vector<Entry> entries_;  // in (definition, pattern) order
    std::vector<OffsetGroup> groups_;
    bool useDispatch_ = false;
};

}  // namespace zt
