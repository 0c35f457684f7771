#include "BitmapReader.h"

#include "aglTypes.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

uint16_t u16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t i32(const uint8_t* p) {
    return int32_t(u32(p));
}

constexpr size_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
// The later information headers extend the 40-byte one (colour masks,
// colour space, gamma, profile); their first 40 bytes mean the same.
constexpr uint32_t kLongerHeaders[] = {52, 56, 108, 124};
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2;
// Run-length code describes blank pixels for free: a line end leaves the
// rest of its row blank, a delta skips up to 255 rows and columns, and the
// end mark leaves the rest of the picture blank. So a picture may rightly be
// far larger than its code, and its size is checked against how far its code
// reaches (the rows it walks through, the widest column it draws in or moves
// to): a picture may be blank beyond that over kRleBlankFactor times that
// area, and one of up to kRleFreePixels pixels is never refused. A header
// that claims more (1 KB of code for a gigapixel) is damaged or hostile.
constexpr int64_t kRleBlankFactor = 16;
constexpr int64_t kRleFreePixels = int64_t(1) << 24;
// A code that reaches a picture's far corner (with deltas, a few hundred
// bytes do) still claims no more than this many pixels (16384 x 16384).
constexpr int64_t kMostRlePixels = int64_t(1) << 28;

bool fail(std::string& reason, const char* why) {
    reason = why;
    return false;
}

bool isInfoHeader(uint32_t size) {
    if (size == kInfoHeader) return true;
    for (uint32_t n : kLongerHeaders)
        if (size == n) return true;
    return false;
}

// How far a run-length code reaches into its picture (both counts at most
// the picture's): rows walked from the bottom, and the columns up to the
// rightmost pixel drawn or the cursor moved to.
struct RleReach {
    int64_t rows = 0;
    int64_t columns = 0;
};

// Walks a run-length compressed picture (8 or 4 bits per pixel) in
// [p, end): into out (height x width, row 0 the bottom row) when out is
// given, and measures its reach either way. Pixels the stream skips stay 0;
// pixels past a row's end are dropped. Fails when the stream ends before
// its end-of-picture mark.
bool walkRle(const uint8_t* p, const uint8_t* end, int bits, int64_t width, int64_t height,
             std::vector<uint8_t>* out, RleReach& reach, std::string& reason) {
    int64_t x = 0, y = 0;
    auto moved = [&] {
        reach.rows = std::max(reach.rows, std::min(y, height));
        reach.columns = std::max(reach.columns, std::min(x, width));
    };
    auto drew = [&](int64_t count) { // count pixels from x on row y
        if (count <= 0 || x >= width || y >= height) return;
        reach.rows = std::max(reach.rows, y + 1);
        reach.columns = std::max(reach.columns, std::min(x + count, width));
    };
    auto put = [&](uint8_t v) {
        if (out && x < width && y < height) (*out)[size_t(y * width + x)] = v;
        ++x;
    };
    while (true) {
        if (end - p < 2) return fail(reason, "compressed bitmap ends before its end mark");
        const uint8_t count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            // A run: count pixels of one value (4 bits: two values taking
            // turns), never past the row's end.
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(width - x, 0));
            drew(n);
            if (!out) {
                x += n;
                continue;
            }
            for (int i = 0; i < n; ++i)
                put(bits == 8 ? value : uint8_t(i % 2 == 0 ? value >> 4 : value & 15));
            continue;
        }
        if (value == 0) { // end of line
            reach.rows = std::max(reach.rows, std::min(y + 1, height));
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return true;
        } else if (value == 2) { // move right and up
            if (end - p < 2) return fail(reason, "compressed bitmap ends before its end mark");
            x += p[0];
            y += p[1];
            p += 2;
            moved();
        } else { // value literal pixels, padded to an even byte count
            const size_t bytes = bits == 8 ? value : (size_t(value) + 1) / 2;
            const size_t padded = bytes + (bytes & 1);
            if (size_t(end - p) < padded)
                return fail(reason, "compressed bitmap ends before its end mark");
            drew(value);
            if (out) {
                for (int i = 0; i < value; ++i)
                    put(bits == 8 ? p[i] : uint8_t(i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 15));
            } else {
                x += value;
            }
            p += padded;
        }
        if (y >= height) return true; // anything further would be off the picture
    }
}

} // namespace

bool readBitmap(const uint8_t* data, size_t size, BitmapImage& out, std::string& reason) {
    if (size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M')
        return fail(reason, "not a bitmap file");
    const uint32_t pixelOffset = u32(data + 10);
    const uint8_t* info = data + kFileHeader;
    const uint32_t infoSize = u32(info);
    if (infoSize != kCoreHeader && !isInfoHeader(infoSize))
        return fail(reason, "unsupported bitmap header size");
    if (size < kFileHeader + infoSize)
        return fail(reason, "bitmap header runs past the end of the file");

    int64_t width = 0, height = 0;
    int bits = 0;
    uint32_t usedColours = 0;
    uint32_t compression = kRgb;
    size_t entrySize = 4;
    if (infoSize == kCoreHeader) {
        // The old core header: 16-bit sizes, 3-byte palette entries.
        width = u16(info + 4);
        height = u16(info + 6);
        bits = u16(info + 10);
        entrySize = 3;
    } else {
        width = i32(info + 4);
        height = i32(info + 8);
        bits = u16(info + 14);
        compression = u32(info + 16);
        usedColours = u32(info + 32);
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
        return fail(reason, "only 1, 2, 4 and 8 bits per pixel are supported");
    if (compression != kRgb && !(compression == kRle8 && bits == 8) &&
        !(compression == kRle4 && bits == 4))
        return fail(reason, "compressed bitmaps are not supported");
    // A negative height marks a top-down picture; it is read like any other
    // and turned round so that row 0 is the bottom row, as in a bottom-up one.
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (topDown && compression != kRgb)
        return fail(reason, "compressed bitmaps cannot be top-down");
    if (width <= 0 || height <= 0) return fail(reason, "bitmap width or height is not positive");
    if (width > agl::kMaxElements || height > agl::kMaxElements ||
        width * height > agl::kMaxElements)
        return fail(reason, "bitmap has too many pixels");

    uint32_t entries = 1u << bits;
    if (usedColours != 0 && usedColours < entries) entries = usedColours;
    const size_t paletteStart = kFileHeader + infoSize;
    if (paletteStart + size_t(entries) * entrySize > size)
        return fail(reason, "bitmap palette runs past the end of the file");

    const int64_t rowBytes = ((width * bits + 31) / 32) * 4;
    if (pixelOffset > size ||
        (compression == kRgb && uint64_t(rowBytes) * uint64_t(height) > size - pixelOffset))
        return fail(reason, "bitmap pixels run past the end of the file");

    // A compressed picture far larger than its code reaches is refused
    // before any storage is made for it (the walk stores nothing).
    if (compression != kRgb) {
        const int64_t codeBytes = int64_t(size) - int64_t(pixelOffset);
        const std::string claims = "compressed bitmap claims " + std::to_string(width) + " x " +
                                   std::to_string(height) + " pixels, ";
        RleReach reach;
        if (!walkRle(data + pixelOffset, data + size, bits, width, height, nullptr, reach, reason))
            return false;
        if (width * height > kRleFreePixels &&
            width * height > kRleBlankFactor * reach.columns * reach.rows) {
            reason = claims + "more than its " + std::to_string(codeBytes) +
                     " bytes of pixel data can describe (they reach " +
                     std::to_string(reach.columns) + " x " + std::to_string(reach.rows) + ")";
            return false;
        }
        if (width * height > kMostRlePixels) {
            reason = claims + "more than the " + std::to_string(kMostRlePixels) +
                     " pixels a compressed bitmap may have";
            return false;
        }
    }

    out.width = int32_t(width);
    out.height = int32_t(height);
    out.bitsPerPixel = bits;
    try {
        out.indices.assign(size_t(width * height), 0);
    } catch (const std::bad_alloc&) {
        // A few bytes of run-length code may describe a picture of 2^30
        // pixels: too large for this machine is a refusal, not a crash.
        return fail(reason, "bitmap is too large to hold in memory");
    }
    if (compression != kRgb) {
        RleReach reach;
        if (!walkRle(data + pixelOffset, data + size, bits, width, height, &out.indices, reach,
                     reason))
            return false;
    }
    const int perByte = 8 / bits;
    const uint8_t mask = uint8_t((1u << bits) - 1);
    for (int64_t r = 0; r < height && compression == kRgb; ++r) {
        const int64_t fileRow = topDown ? height - 1 - r : r;
        const uint8_t* src = data + pixelOffset + fileRow * rowBytes;
        uint8_t* dst = out.indices.data() + r * width;
        for (int64_t c = 0; c < width; ++c) {
            // The leftmost pixel sits in the most significant bits.
            const int shift = 8 - bits * int(c % perByte + 1);
            dst[c] = uint8_t((src[c / perByte] >> shift) & mask);
        }
    }

    // Spread the colours so that the palette range 0..maxValue reaches every
    // colour: with 4 bits each colour covers 16 entries and the top value is
    // 15; 2 bits likewise with 64 entries and 3; 1 and 8 bits map values
    // straight onto entries (top value 255).
    int repeat = 1;
    out.maxValue = 255;
    if (bits == 4) {
        repeat = 16;
        out.maxValue = 15;
    } else if (bits == 2) {
        repeat = 64;
        out.maxValue = 3;
    }
    for (int i = 0; i < 256; ++i)
        out.palette[i] = 0xFF000000u + uint32_t(i) * 0x010101u;
    int slot = 0;
    for (uint32_t k = 0; k < entries && slot < 256; ++k) {
        const uint8_t* e = data + paletteStart + k * entrySize;
        const uint32_t colour =
            0xFF000000u + uint32_t(e[0]) * 65536u + uint32_t(e[1]) * 256u + uint32_t(e[2]);
        for (int n = 0; n < repeat && slot < 256; ++n)
            out.palette[slot++] = colour;
    }
    return true;
}
