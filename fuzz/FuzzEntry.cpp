// One libFuzzer target; XQ_FUZZ_BODY names the body it runs.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XQ_FUZZ_BODY(data, size);
    return 0;
}
