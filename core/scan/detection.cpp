#include "core/scan/detection.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZT_HAVE_AVX2_PATH 1
#endif

namespace zt {

namespace {

// Whether the needle starts at p + k for a bit k set in candidates: the start
// positions of a vector step whose first and last bytes agree.
inline bool AnyCandidateMatches(const std::uint8_t* sector, std::size_t p, unsigned candidates,
                                const std::uint8_t* needle, std::size_t length) {
    for (; candidates != 0; candidates &= candidates - 1) {
        const std::size_t at = p + static_cast<std::size_t>(__builtin_ctz(candidates));
        if (std::memcmp(sector + at, needle, length) == 0) return true;
    }
    return false;
}

#if defined(ZT_HAVE_AVX2_PATH)
// Thirty-two start positions at a time, on processors that have AVX2 (the
// program itself is built for every x86-64 one). Returns true when the
// needle starts at one of them; p ends at the first position not looked at.
__attribute__((target("avx2"))) bool FindWide(const std::uint8_t* sector, std::size_t positions,
                                              const std::uint8_t* needle, std::size_t length, std::size_t& p) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(needle[0]));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(needle[length - 1]));
    // Both thirty-two-byte loads end at or before the last byte searched.
    for (; p + 32 <= positions; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sector + p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sector + p + length - 1));
        const auto candidates = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        if (AnyCandidateMatches(sector, p, candidates, needle, length)) return true;
    }
    return false;
}

// Asked once as the program starts; the processor's features are read first,
// since this may run before the library that reads them is set up.
const bool kWide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Searches start positions 0..511 for needle, never reading past available.
// This runs for every sector of an open file, so it checks eight start
// positions at a time: a position is a candidate when the needle's first and
// last bytes both agree there, and only candidates are compared in full.
bool FindInSector(const std::uint8_t* sector, std::size_t available, const std::uint8_t* needle,
                  std::size_t length) {
    if (length == 0) return false;
    const std::size_t limit = std::min(available, std::size_t{kSectorBytes} - 1 + length);
    if (limit < length) return false;
    const std::size_t positions = limit - length + 1;
    std::size_t p = 0;
#if defined(ZT_HAVE_AVX2_PATH)
    if (kWide && FindWide(sector, positions, needle, length, p)) return true;
#endif
#if defined(__SSE2__)
    // Sixteen start positions at a time where the processor has the vectors
    // for it (every x86-64 one): the same candidates, half the steps.
    {
        const __m128i first = _mm_set1_epi8(static_cast<char>(needle[0]));
        const __m128i last = _mm_set1_epi8(static_cast<char>(needle[length - 1]));
        // Both sixteen-byte loads end at or before limit.
        for (; p + 16 <= positions; p += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sector + p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sector + p + length - 1));
            const auto candidates = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            if (AnyCandidateMatches(sector, p, candidates, needle, length)) return true;
        }
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t first = kOnes * needle[0];
        const std::uint64_t last = kOnes * needle[length - 1];
        // Both eight-byte loads end at or before limit.
        for (; p + 8 <= positions; p += 8) {
            std::uint64_t a = 0;
            std::uint64_t b = 0;
            std::memcpy(&a, sector + p, 8);
            std::memcpy(&b, sector + p + length - 1, 8);
            const std::uint64_t x = (a ^ first) | (b ^ last);
            // Marks every zero byte of x (and at most a few false ones above a zero).
            std::uint64_t candidates = (x - kOnes) & ~x & kHighBits;
            while (candidates != 0) {
                const std::size_t at = p + static_cast<std::size_t>(__builtin_ctzll(candidates)) / 8;
                if (std::memcmp(sector + at, needle, length) == 0) return true;
                candidates &= candidates - 1;
            }
        }
    }
    for (; p < positions; ++p) {
        if (sector[p] == needle[0] && std::memcmp(sector + p, needle, length) == 0) return true;
    }
    return false;
}

}  // namespace

bool FindPatternInSector(const SignaturePattern& pattern, const std::uint8_t* sector, std::size_t available) {
    return FindInSector(sector, available, pattern.bytes.data(), static_cast<std::size_t>(pattern.length));
}

bool ConfirmMaker(std::string_view typeName, const std::uint8_t* sector, std::size_t available) {
    const std::string_view text = ConfirmationText(typeName);
    if (text.empty()) return true;
    return FindInSector(sector, available, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void AdoptMatroskaFooter(stExtInfo& mkv, const std::uint8_t* sector, std::size_t available) {
    SignaturePattern& footer = mkv.footers[0];
    if (footer.offset != -1) return;
    const std::uint8_t firstByte = footer.bytes[0];
    const std::uint8_t fourthByte = footer.bytes[3];
    const std::size_t last = std::min<std::size_t>(kSectorBytes, available >= 3 ? available - 3 : 0);
    // The last candidate in the sector wins, so search from the end.
    for (std::size_t p = last; p-- > 0;) {
        if (sector[p] == firstByte && sector[p + 3] == fourthByte) {
            std::memcpy(footer.bytes.data(), sector + p, 4);
            return;
        }
    }
}

SignatureDetector::SignatureDetector(TypeDefinitionList& list) : list_(list) {
    for (int d = 0; d < static_cast<int>(list_.size()); ++d) {
        const stExtInfo& def = list_[static_cast<std::size_t>(d)];
        const int count = std::clamp(def.headerCount, 0, kMaxPatterns);
        for (int k = 0; k < count; ++k) {
            Entry e{d, k, TraitsOf(def.type).footerFromHeader, ConfirmationText(def.Name())};
            const SignaturePattern& p = def.headers[static_cast<std::size_t>(k)];
            std::uint8_t value[4] = {};
            std::uint8_t mask[4] = {};
            for (int i = 0; i < std::min(p.length, 4); ++i) {
                value[i] = p.bytes[static_cast<std::size_t>(i)];
                mask[i] = 0xFF;
            }
            e.offset = p.offset;
            std::memcpy(&e.prefix, value, 4);
            std::memcpy(&e.prefixMask, mask, 4);
            entries_.push_back(e);
        }
    }

    // The dispatch keys on the first two bytes of each header pattern at its
    // offset. It needs one bit per pattern and sane offsets; otherwise the
    // plain loop is used.
    useDispatch_ = entries_.size() <= 64;
    for (const Entry& e : entries_) {
        const SignaturePattern& p = list_[static_cast<std::size_t>(e.definition)].headers[static_cast<std::size_t>(e.pattern)];
        if (p.length < 1 || p.offset < 0 || p.offset + p.length > static_cast<std::int32_t>(kSectorBytes))
            useDispatch_ = false;
    }
    if (!useDispatch_) return;

    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        const SignaturePattern& p = list_[static_cast<std::size_t>(e.definition)].headers[static_cast<std::size_t>(e.pattern)];
        auto it = std::find_if(groups_.begin(), groups_.end(),
                               [&](const OffsetGroup& g) { return g.offset == p.offset; });
        if (it == groups_.end()) {
            groups_.push_back(OffsetGroup{});
            it = groups_.end() - 1;
            it->offset = p.offset;
            std::fill(std::begin(it->firstByte), std::end(it->firstByte), 0);
            std::fill(std::begin(it->secondByte), std::end(it->secondByte), 0);
        }
        const std::uint64_t bit = std::uint64_t{1} << i;
        it->firstByte[p.bytes[0]] |= bit;
        if (p.length >= 2) {
            it->secondByte[p.bytes[1]] |= bit;
        } else {
            for (std::uint64_t& m : it->secondByte) m |= bit;
        }
    }
}

bool SignatureDetector::TryEntry(const Entry& e, const std::uint8_t* sector, std::size_t available) {
    if (useDispatch_) {
        // Dispatch guarantees offset + length <= 512, so four bytes can be
        // read unless the pattern ends within the last three bytes.
        const std::int32_t off = e.offset;
        if (off + 4 <= static_cast<std::int32_t>(kSectorBytes)) {
            std::uint32_t word;
            std::memcpy(&word, sector + off, 4);
            if ((word & e.prefixMask) != e.prefix) return false;
        }
    }
    stExtInfo& def = list_[static_cast<std::size_t>(e.definition)];
    const SignaturePattern& p = def.headers[static_cast<std::size_t>(e.pattern)];
    if (p.offset < 0 || p.length < 1) return false;
    const std::size_t end = static_cast<std::size_t>(p.offset) + static_cast<std::size_t>(p.length);
    if (end > available) return false;
    if (std::memcmp(sector + p.offset, p.bytes.data(), static_cast<std::size_t>(p.length)) != 0) return false;
    if (!e.confirmation.empty() &&
        !FindInSector(sector, available, reinterpret_cast<const std::uint8_t*>(e.confirmation.data()),
                      e.confirmation.size()))
        return false;
    if (e.isMkv) AdoptMatroskaFooter(def, sector, available);
    return true;
}

int SignatureDetector::Accept(int definition, std::string_view& outName, std::int32_t& outSearchLimit) const {
    const stExtInfo& def = list_[static_cast<std::size_t>(definition)];
    outName = def.Name();
    outSearchLimit = def.searchLimit;
    return definition;
}

int SignatureDetector::MatchSlow(const std::uint8_t* sector, std::size_t available, std::string_view& outName,
                                 std::int32_t& outSearchLimit) {
    for (const Entry& e : entries_) {
        if (TryEntry(e, sector, available)) return Accept(e.definition, outName, outSearchLimit);
    }
    return -1;
}

int SignatureDetector::MatchType(const std::uint8_t* sector, std::size_t available, std::string_view& outName,
                                 std::int32_t& outSearchLimit) {
    if (!useDispatch_) return MatchSlow(sector, available, outName, outSearchLimit);
    std::uint64_t candidates = 0;
    for (const OffsetGroup& g : groups_) {
        const std::size_t at = static_cast<std::size_t>(g.offset);
        candidates |= g.firstByte[sector[at]] & g.secondByte[sector[std::min<std::size_t>(at + 1, kSectorBytes - 1)]];
    }
    // Lowest bit first is list order, then pattern order: the first entry
    // that passes wins, exactly as trying every pattern in turn would.
    while (candidates != 0) {
        const int i = __builtin_ctzll(candidates);
        candidates &= candidates - 1;
        const Entry& e = entries_[static_cast<std::size_t>(i)];
        if (TryEntry(e, sector, available)) return Accept(e.definition, outName, outSearchLimit);
    }
    return -1;
}

}  // namespace zt
