#include "aglPng.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
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
    // PNG keeps straight (not premultiplied) alpha, bytes in R, G, B, A
    // order; an image without alpha (a frame read back from the GL) is
    // written as R, G, B: a quarter less to filter and deflate.
    const bool alpha = source.hasAlphaChannel();
    const QImage::Format format = alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    // A frame (RGB32) is taken apart row by row, as it is filtered; any
    // other image is converted whole first.
    const bool frame = source.format() == QImage::Format_RGB32;
    QImage converted;
    if (!frame) {
        converted = source.format() == format ? source : source.convertToFormat(format);
        if (converted.isNull()) return {};
    }
    const uint32_t width = uint32_t(source.width()), height = uint32_t(source.height());
    const size_t pixelBytes = alpha ? 4 : 3;
    const size_t rowBytes = size_t(width) * pixelBytes;
    std::vector<unsigned char> rows[2] = {std::vector<unsigned char>(frame ? rowBytes : 0),
                                          std::vector<unsigned char>(frame ? rowBytes : 0)};
    const auto row = [&](uint32_t y) -> const uchar* {
        if (!frame) return converted.constScanLine(int(y));
        const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(int(y)));
        uchar* out = rows[y & 1].data();
        for (uint32_t x = 0; x < width; ++x, out += 3) {
            out[0] = uchar(qRed(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qBlue(in[x]));
        }
        return rows[y & 1].data();
    };

    z_stream z = {};
    if (deflateInit(&z, std::clamp(level, 0, 9)) != Z_OK) return {};
    std::vector<unsigned char> up(rowBytes + 1), sub(rowBytes + 1), zeros(rowBytes, 0);
    // Left uninitialised: only the part the stream fills is touched.
    const size_t bound = deflateBound(&z, uLong((rowBytes + 1) * height));
    const std::unique_ptr<unsigned char[]> deflated(new unsigned char[bound]);
    z.next_out = deflated.get();
    z.avail_out = uInt(std::min<size_t>(bound, UINT32_MAX));
    bool ok = bound <= UINT32_MAX;
    // The magnitude of a filtered byte taken as signed.
    const auto size = [](uchar d) { return d < 128 ? unsigned(d) : 256u - d; };
    up[0] = 2;  // filter 2, "Up": each byte less the byte above it
    sub[0] = 1; // filter 1, "Sub": each byte less the one a pixel left of it
    const uchar* above = zeros.data();
    for (uint32_t y = 0; ok && y < height; ++y) {
        const uchar* line = row(y);
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
            sub[k + 1] = uchar(line[k] - (k >= pixelBytes ? line[k - pixelBytes] : 0));
            sumSub += size(sub[k + 1]);
        }
        z.next_in = sumSub < sumUp ? sub.data() : up.data();
        z.avail_in = uInt(rowBytes + 1);
        // The bound leaves room for everything: a call that leaves input
        // behind, or does not end the stream, has failed.
        ok = deflate(&z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) ==
                 (y + 1 == height ? Z_STREAM_END : Z_OK) &&
             z.avail_in == 0;
        above = line;
    }
    const size_t used = bound - z.avail_out;
    deflateEnd(&z);
    if (!ok) return {};

    QByteArray out;
    out.reserve(qsizetype(used + 64 + used / (1 << 20) * 12));
    out.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    // 8 bits per channel, colour type 6 (RGBA) or 2 (RGB), deflate,
    // adaptive filtering, no interlace.
    header.append(alpha ? "\x08\x06\x00\x00\x00" : "\x08\x02\x00\x00\x00", 5);
    putChunk(out, "IHDR", header.constData(), uint32_t(header.size()));
    // The data in chunks of at most 1 MiB.
    for (size_t at = 0; at < used; at += 1 << 20)
        putChunk(out, "IDAT", reinterpret_cast<const char*>(deflated.get() + at),
                 uint32_t(std::min<size_t>(used - at, 1 << 20)));
    putChunk(out, "IEND", nullptr, 0);
    return out;
}
