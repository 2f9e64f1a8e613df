#include "platform/Graphics.h"

#include <atomic>
#include <limits>

namespace {

std::atomic<int32_t> screenPixelsPerInch{96};

}  // namespace

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = int64_t{a} * b;
    const bool negative = (product < 0) != (c < 0);
    const uint64_t magnitude = product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
    const uint64_t divisor = c < 0 ? 0 - static_cast<uint64_t>(int64_t{c}) : static_cast<uint64_t>(c);
    const uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0)) return -1;
    return static_cast<int32_t>(negative ? 0 - quotient : quotient);
}

int32_t ScreenPixelsPerInch() { return screenPixelsPerInch.load(std::memory_order_relaxed); }

void SetScreenPixelsPerInch(int32_t pixelsPerInch) {
    if (pixelsPerInch >= 1) screenPixelsPerInch.store(pixelsPerInch, std::memory_order_relaxed);
}
