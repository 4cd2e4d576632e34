// The libFuzzer entry point of one target, chosen at build time by
// FUZZ_TARGET (the function's name in target.h).
#include "target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    panelhost::fuzz::FUZZ_TARGET(panelhost::fuzz::Input(data, size));
    return 0;
}
