// libFuzzer target: scans arbitrary bytes with every type selected and traps
// when the scan and the reference model disagree.
#include "fuzz/scan_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!zt::fuzz::ScanMatchesModel(data, size)) __builtin_trap();
    return 0;
}
