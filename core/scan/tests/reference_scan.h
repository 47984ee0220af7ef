// A deliberately plain model of the scan rules, written from their
// description and sharing no code with the scan: its own pattern search, its
// own maker texts, and one loop over a whole-image buffer. Tests and the
// fuzzer compare the scan with it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core/scan/catalogue.h"

namespace zt::testing {

struct ModelFile {
    std::string fileName;
    std::uint64_t start;
    std::int32_t count;
    bool operator==(const ModelFile&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const ModelFile& f) {
    return os << f.fileName << "@" << f.start << "+" << f.count;
}

// Maker texts that some headers must also show in their sector.
inline std::string MakerText(const std::string& type) {
    if (type == "CR2" || type == "CRW") return "Canon";
    if (type == "NEF") return "NIKON";
    if (type == "PEF") return "PENTAX";
    if (type == "ERF") return "EPSON";
    if (type == "MEF") return "MAMIYA";
    if (type == "SR2") return "SONY";
    if (type == "WAV") return "WAVE";
    if (type == "AVI") return "AVI LIST";
    if (type == "OGG") return "Ogg";
    return "";
}

class ReferenceScan {
public:
    ReferenceScan(const std::vector<std::uint8_t>& image, TypeDefinitionList defs, std::uint64_t rangeStart,
                  std::uint64_t rangeEnd)
        : image_(image), defs_(std::move(defs)), rangeStart_(rangeStart), rangeEnd_(rangeEnd) {}

    std::vector<ModelFile> Run() {
        std::uint64_t base = rangeStart_;
        if (base >= rangeEnd_) return out_;
        std::uint64_t count = std::min<std::uint64_t>(1000, rangeEnd_ - base);
        for (;;) {
            Read(base, count, chunk_);
            bool rescan = false;
            for (std::uint64_t j = 0; j < count && !rescan; ++j) {
                const std::uint64_t cur = base + j;
                const std::uint8_t* sector = chunk_.data() + j * 512;
                const std::size_t avail = (count - j) * 512;
                const int r = Match(sector, avail);
                if (open_ == -1 && r == -1) continue;
                if (open_ != -1 && r != -1) {
                    Add(open_, start_, static_cast<std::int32_t>(cur - start_ - 1));
                    open_ = -1;
                }
                if (open_ == -1) {
                    open_ = r;
                    start_ = cur;
                    examined_ = 0;
                    if (Name(r) == "MKV") {
                        examined_ = 1;
                        continue;
                    }
                }
                const int outcome = EndRule(sector, avail, cur);  // 1 found, 0 not yet, -1 reject
                if (outcome == 1) {
                    open_ = -1;
                } else if (outcome == 0) {
                    ++examined_;
                    // An MKV header counts as examined, so its count may start past a
                    // limit of 1: reaching the limit means getting to it or beyond.
                    if (examined_ >= defs_[open_].searchLimit) {
                        Add(open_, start_, static_cast<std::int32_t>(defs_[open_].maxSizeBytes / 512));
                        rescan = true;
                    }
                } else {
                    rescan = true;
                }
            }
            if (rescan) {
                base = start_ + 1;
                open_ = -1;
            } else {
                base += count;
            }
            count = std::min<std::uint64_t>(1000, rangeEnd_ > base ? rangeEnd_ - base : 0);
            if (base >= rangeEnd_) break;
        }
        return out_;
    }

private:
    std::string Name(int t) const { return std::string(defs_[t].name.data()); }

    // What the reader delivers: the image, zeros past its end, and zeros for a
    // request that starts beyond the range end.
    void Read(std::uint64_t first, std::uint64_t count, std::vector<std::uint8_t>& buf) const {
        buf.assign(count * 512, 0);
        if (first > rangeEnd_ || first * 512 >= image_.size()) return;
        const std::uint64_t n = std::min<std::uint64_t>(count * 512, image_.size() - first * 512);
        std::memcpy(buf.data(), image_.data() + first * 512, n);
    }

    static bool Anywhere(const std::uint8_t* sector, std::size_t avail, const std::uint8_t* pat, std::size_t len) {
        for (std::size_t p = 0; p < 512; ++p) {
            if (p + len > avail) return false;
            bool same = true;
            for (std::size_t i = 0; i < len && same; ++i) same = sector[p + i] == pat[i];
            if (same) return true;
        }
        return false;
    }

    int Match(const std::uint8_t* sector, std::size_t avail) {
        for (std::size_t t = 0; t < defs_.size(); ++t) {
            stExtInfo& d = defs_[t];
            for (int k = 0; k < d.headerCount; ++k) {
                const SignaturePattern& h = d.headers[k];
                bool same = static_cast<std::size_t>(h.offset + h.length) <= avail;
                for (int i = 0; i < h.length && same; ++i) same = sector[h.offset + i] == h.bytes[i];
                if (!same) continue;
                const std::string maker = MakerText(Name(static_cast<int>(t)));
                if (!maker.empty() &&
                    !Anywhere(sector, avail, reinterpret_cast<const std::uint8_t*>(maker.data()), maker.size()))
                    continue;
                if (Name(static_cast<int>(t)) == "MKV") {
                    int candidate = -1;
                    for (std::size_t p = 0; p < 512; ++p) {
                        if (p + 3 < avail && sector[p] == d.footers[0].bytes[0] && sector[p + 3] == d.footers[0].bytes[3])
                            candidate = static_cast<int>(p);
                    }
                    if (candidate >= 0) std::memcpy(d.footers[0].bytes.data(), sector + candidate, 4);
                }
                return static_cast<int>(t);
            }
        }
        return -1;
    }

    int EndRule(const std::uint8_t* sector, std::size_t avail, std::uint64_t cur) {
        stExtInfo& d = defs_[open_];
        const std::string name = Name(open_);
        if (name == "PSP" || name == "MP3") {
            std::vector<std::uint8_t> copy(sector, sector + 512);
            std::uint64_t s = start_, last = start_;
            int counter = 0;
            do {
                bool marker = false;
                for (int k = 0; k < d.footerCount; ++k)
                    marker = marker || Anywhere(copy.data(), 512, d.footers[k].bytes.data(), d.footers[k].length);
                if (marker) last = s;
                counter = marker ? 1 : counter + 1;
                ++s;
                Read(s, 1, copy);
            } while (counter < 350);
            Add(open_, start_, static_cast<std::int32_t>(last - start_ + 10));
            return 1;
        }
        if (d.sizeFieldOffset != -1) {
            const std::uint8_t* f = sector + d.sizeFieldOffset;
            std::uint32_t v = name == "AU" ? (std::uint32_t{f[0]} << 24 | std::uint32_t{f[1]} << 16 |
                                              std::uint32_t{f[2]} << 8 | f[3])
                                           : (std::uint32_t{f[3]} << 24 | std::uint32_t{f[2]} << 16 |
                                              std::uint32_t{f[1]} << 8 | f[0]);
            const bool notPositive = static_cast<std::int32_t>(v) <= 0;
            if (name == "BMP" || name == "WMA") {
                if (notPositive || v > d.sizeFieldLimit) return -1;
            } else if (name == "AU") {
                if (notPositive) return 0;
                if (v > d.sizeFieldLimit) return -1;
            } else {
                if (notPositive) return 0;
                if (v > d.sizeFieldLimit) v = static_cast<std::uint32_t>(d.maxSizeBytes);
            }
            Add(open_, start_, static_cast<std::int32_t>(v / 512 + 1));
            return 1;
        }
        for (int k = 0; k < d.footerCount; ++k) {
            if (Anywhere(sector, avail, d.footers[k].bytes.data(), d.footers[k].length)) {
                Add(open_, start_, static_cast<std::int32_t>(cur - start_ + 1));
                return 1;
            }
        }
        return 0;
    }

    void Add(int t, std::uint64_t start, std::int32_t count) {
        const int n = ++defs_[t].foundCount;
        out_.push_back({"File" + std::to_string(n) + "." + Name(t), start, count});
    }

    const std::vector<std::uint8_t>& image_;
    TypeDefinitionList defs_;
    std::uint64_t rangeStart_, rangeEnd_;
    // Shared by the models of one thread: a fuzzing run builds one per input,
    // and a fresh 512 KB buffer each time would cost more than the scan.
    static std::vector<std::uint8_t>& Scratch() {
        thread_local std::vector<std::uint8_t> buffer;
        return buffer;
    }
    std::vector<std::uint8_t>& chunk_ = Scratch();
    int open_ = -1;
    std::uint64_t start_ = 0;
    int examined_ = 0;
    std::vector<ModelFile> out_;
};

}  // namespace zt::testing
