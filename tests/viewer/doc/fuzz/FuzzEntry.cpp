// The libFuzzer entry point of one target, chosen by TAVRIX_FUZZ_TARGET.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return TAVRIX_FUZZ_TARGET(data, size);
}
