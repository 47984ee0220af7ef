// libFuzzer target: walks arbitrary bytes as the format the header names and
// as one the input chooses, then scans them with extended signatures; traps
// when a walk reads what it was not handed or breaks a promise of its result.
#include <cstdio>

#include "fuzz/format_walk_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view why = zt::fuzz::FormatWalksFailure(data, size);
    if (!why.empty()) {
        std::fprintf(stderr, "format walk check failed: %.*s\n", static_cast<int>(why.size()), why.data());
        __builtin_trap();
    }
    return 0;
}
