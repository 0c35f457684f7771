#include "aglPng.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {

void putBigEndian(QByteArray& out, uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

// One chunk: length, type, data, CRC of type and data.
void putChunk(QByteArray& out, const char type[4], const char* data, uint32_t size) {
    putBigEndian(out, size);
    out.append(type, 4);
    if (size) out.append(data, size);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (size) crc = crc32(crc, reinterpret_cast<const Bytef*>(data), size);
    putBigEndian(out, uint32_t(crc));
}

} // namespace

QByteArray aglEncodePng(const QImage& source, int level) {
    if (source.isNull()) return {};
    // PNG keeps straight (not premultiplied) alpha, bytes in R, G, B, A order.
    const QImage image = source.format() == QImage::Format_RGBA8888
                             ? source
                             : source.convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull()) return {};
    const uint32_t width = uint32_t(image.width()), height = uint32_t(image.height());
    const size_t rowBytes = size_t(width) * 4;

    z_stream z = {};
    if (deflateInit(&z, std::clamp(level, 0, 9)) != Z_OK) return {};
    std::vector<unsigned char> up(rowBytes + 1), sub(rowBytes + 1), zeros(rowBytes, 0);
    std::vector<unsigned char> deflated(deflateBound(&z, uLong((rowBytes + 1) * height)));
    z.next_out = deflated.data();
    z.avail_out = uInt(std::min<size_t>(deflated.size(), UINT32_MAX));
    bool ok = deflated.size() <= UINT32_MAX;
    // The magnitude of a filtered byte taken as signed.
    const auto size = [](uchar d) { return d < 128 ? unsigned(d) : 256u - d; };
    up[0] = 2;  // filter 2, "Up": each byte less the byte above it
    sub[0] = 1; // filter 1, "Sub": each byte less the one a pixel left of it
    for (uint32_t y = 0; ok && y < height; ++y) {
        const uchar* line = image.constScanLine(int(y));
        const uchar* above = y ? image.constScanLine(int(y - 1)) : zeros.data();
        // Each row with the filter that leaves it the smaller sum (as
        // libpng's heuristic chooses, between two filters): a shaded
        // surface runs smoothly downwards, an image map's cells repeat
        // along the row.
        uint64_t sumUp = 0, sumSub = 0;
        for (size_t k = 0; k < rowBytes; ++k) {
            up[k + 1] = uchar(line[k] - above[k]);
            sumUp += size(up[k + 1]);
        }
        for (size_t k = 0; k < rowBytes; ++k) {
            sub[k + 1] = uchar(line[k] - (k >= 4 ? line[k - 4] : 0));
            sumSub += size(sub[k + 1]);
        }
        z.next_in = sumSub < sumUp ? sub.data() : up.data();
        z.avail_in = uInt(rowBytes + 1);
        // The bound leaves room for everything: a call that leaves input
        // behind, or does not end the stream, has failed.
        ok = deflate(&z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) ==
                 (y + 1 == height ? Z_STREAM_END : Z_OK) &&
             z.avail_in == 0;
    }
    const size_t used = deflated.size() - z.avail_out;
    deflateEnd(&z);
    if (!ok) return {};

    QByteArray out;
    out.reserve(qsizetype(used + 64 + used / (1 << 20) * 12));
    out.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    // 8 bits per channel, colour type 6 (RGBA), deflate, adaptive filtering,
    // no interlace.
    header.append("\x08\x06\x00\x00\x00", 5);
    putChunk(out, "IHDR", header.constData(), uint32_t(header.size()));
    // The data in chunks of at most 1 MiB.
    for (size_t at = 0; at < used; at += 1 << 20)
        putChunk(out, "IDAT", reinterpret_cast<const char*>(deflated.data() + at),
                 uint32_t(std::min<size_t>(used - at, 1 << 20)));
    putChunk(out, "IEND", nullptr, 0);
    return out;
}
