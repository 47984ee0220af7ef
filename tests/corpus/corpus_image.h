// Lays files out in a disk image the way a card holds deleted files: each
// one from the start of a sector, between runs of random filler and of
// zeros, its last sector's slack filled with noise. The layout is what the
// scan is then checked against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zt::corpus {

struct Placement {
    std::string name;         // the file's name in its folder
    std::uint64_t startSector = 0;
    std::uint64_t bytes = 0;  // its length
    bool damaged = false;     // cut short or overwritten in the middle
};

struct CorpusOptions {
    std::uint32_t seed = 1;
    std::uint64_t maxGapSectors = 64;    // filler or zeros between two files, at most
    std::uint64_t minImageBytes = 0;     // the image is padded with filler to at least this size
    bool addDamaged = true;              // also place cut and overwritten copies of a few files
    // Every file (bar the ones overwritten in the middle) comes after a copy
    // of it cut short, from the very next sector, as where a new file
    // overwrote the rest of a deleted one.
    bool adjacentCuts = false;
};

// Writes the image at imagePath from every regular file of folder (in a
// shuffled order) and returns where each one went, in image order.
// Throws std::runtime_error when a file cannot be read or the image written.
std::vector<Placement> BuildCorpusImage(const std::string& folder, const std::string& imagePath,
                                        const CorpusOptions& options);

// One line per placement: name, start sector, bytes, "damaged" or "whole", tab-separated.
std::string ManifestText(const std::vector<Placement>& placements);

}  // namespace zt::corpus
