#include "aglPng.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
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

// The bytes of the image's rows as PNG keeps them: R, G, B (and A). A frame
// (RGB32) is taken apart row by row into two buffers of the reader's own, so
// that a row and the row above it are both at hand; any other image was
// converted whole.
class RowReader {
public:
    RowReader(const QImage& source, const QImage& converted, size_t rowBytes)
        : m_source(source), m_converted(converted), m_frame(converted.isNull()),
          m_width(uint32_t(source.width())) {
        if (m_frame)
            for (auto& b : m_rows)
                b.resize(rowBytes);
    }

    const uchar* operator()(uint32_t y) {
        if (!m_frame) return m_converted.constScanLine(int(y));
        const QRgb* in = reinterpret_cast<const QRgb*>(m_source.constScanLine(int(y)));
        uchar* out = m_rows[y & 1].data();
        for (uint32_t x = 0; x < m_width; ++x, out += 3) {
            out[0] = uchar(qRed(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qBlue(in[x]));
        }
        return m_rows[y & 1].data();
    }

private:
    const QImage& m_source;
    const QImage& m_converted;
    const bool m_frame;
    const uint32_t m_width;
    std::vector<uchar> m_rows[2];
};

// Rows [first, last) filtered and deflated, as one piece of the image's zlib
// stream. The first piece carries zlib's header; every piece but the last
// ends on a byte boundary (a sync flush), so that the pieces laid end to end
// are one deflate stream; the last ends it. Pieces after the first are raw
// deflate: their check sum is kept here and combined by the caller.
struct Piece {
    uint32_t first = 0, last = 0;
    std::unique_ptr<unsigned char[]> bytes; // left uninitialised: only `used` is written
    size_t used = 0;
    uLong adler = 1; // of the filtered rows fed in
    bool ok = false;
};

void deflatePiece(const QImage& source, const QImage& converted, size_t pixelBytes, int level,
                  bool lastPiece, Piece& piece) {
    const uint32_t width = uint32_t(source.width());
    const size_t rowBytes = size_t(width) * pixelBytes;
    const bool zlibHeader = piece.first == 0;
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, zlibHeader ? 15 : -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    RowReader row(source, converted, rowBytes);
    std::vector<unsigned char> up(rowBytes + 1), sub(rowBytes + 1), zeros(rowBytes, 0);
    // The bound is for a stream that is finished; a sync flush adds an empty
    // stored block (5 bytes) instead of the trailer.
    const size_t bound = deflateBound(&z, uLong((rowBytes + 1) * (piece.last - piece.first))) + 16;
    piece.bytes.reset(new unsigned char[bound]);
    z.next_out = piece.bytes.get();
    z.avail_out = uInt(std::min<size_t>(bound, UINT32_MAX));
    bool ok = bound <= UINT32_MAX;
    // The magnitude of a filtered byte taken as signed.
    const auto size = [](uchar d) { return d < 128 ? unsigned(d) : 256u - d; };
    up[0] = 2;  // filter 2, "Up": each byte less the byte above it
    sub[0] = 1; // filter 1, "Sub": each byte less the one a pixel left of it
    const uchar* above = piece.first == 0 ? zeros.data() : row(piece.first - 1);
    for (uint32_t y = piece.first; ok && y < piece.last; ++y) {
        const uchar* line = row(y);
        // Each row with the filter that leaves it the smaller sum (as
        // libpng's heuristic chooses, between two filters): a shaded
        // surface runs smoothly downwards, an image map's cells repeat
        // along the row.
        for (size_t k = 0; k < rowBytes; ++k)
            up[k + 1] = uchar(line[k] - above[k]);
        for (size_t k = 0; k < std::min(pixelBytes, rowBytes); ++k)
            sub[k + 1] = line[k];
        for (size_t k = pixelBytes; k < rowBytes; ++k)
            sub[k + 1] = uchar(line[k] - line[k - pixelBytes]);
        uint64_t sumUp = 0, sumSub = 0;
        for (size_t k = 1; k <= rowBytes; ++k) {
            sumUp += size(up[k]);
            sumSub += size(sub[k]);
        }
        z.next_in = sumSub < sumUp ? sub.data() : up.data();
        z.avail_in = uInt(rowBytes + 1);
        if (!zlibHeader) piece.adler = adler32(piece.adler, z.next_in, z.avail_in);
        // The bound leaves room for everything: a call that leaves input
        // behind, or does not end the stream, has failed.
        const bool end = y + 1 == piece.last;
        const int flush = !end ? Z_NO_FLUSH : lastPiece ? Z_FINISH : Z_SYNC_FLUSH;
        ok = deflate(&z, flush) == (flush == Z_FINISH ? Z_STREAM_END : Z_OK) && z.avail_in == 0 &&
             z.avail_out > 0;
        above = line;
    }
    if (zlibHeader) piece.adler = z.adler;
    piece.used = bound - z.avail_out;
    piece.ok = ok;
    deflateEnd(&z);
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
    level = std::clamp(level, 0, 9);

    // A large picture is deflated in two halves at once, on this thread and
    // another: agltool's picture is written while the process waits for it.
    const bool halves = rowBytes * height >= (size_t(1) << 20) && height >= 2 &&
                        std::thread::hardware_concurrency() > 1;
    Piece pieces[2];
    const int count = halves ? 2 : 1;
    pieces[0].last = halves ? height / 2 : height;
    pieces[1].first = pieces[0].last;
    pieces[1].last = height;
    if (halves) {
        std::thread other(
            [&] { deflatePiece(source, converted, pixelBytes, level, false, pieces[0]); });
        deflatePiece(source, converted, pixelBytes, level, true, pieces[1]);
        other.join();
    } else {
        deflatePiece(source, converted, pixelBytes, level, true, pieces[0]);
    }
    size_t used = 0;
    for (int i = 0; i < count; ++i) {
        if (!pieces[i].ok) return {};
        used += pieces[i].used;
    }
    // The pieces laid end to end, then (when there are two) the check sum of
    // the whole, which only the last piece's end would otherwise carry.
    QByteArray idat;
    idat.reserve(qsizetype(used + 4));
    for (int i = 0; i < count; ++i)
        idat.append(reinterpret_cast<const char*>(pieces[i].bytes.get()),
                    qsizetype(pieces[i].used));
    if (halves) {
        const size_t secondBytes = (rowBytes + 1) * (pieces[1].last - pieces[1].first);
        putBigEndian(idat, uint32_t(adler32_combine(pieces[0].adler, pieces[1].adler,
                                                    z_off_t(secondBytes))));
    }

    QByteArray out;
    out.reserve(idat.size() + 64 + idat.size() / (1 << 20) * 12);
    out.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    // 8 bits per channel, colour type 6 (RGBA) or 2 (RGB), deflate,
    // adaptive filtering, no interlace.
    header.append(alpha ? "\x08\x06\x00\x00\x00" : "\x08\x02\x00\x00\x00", 5);
    putChunk(out, "IHDR", header.constData(), uint32_t(header.size()));
    // The data in chunks of at most 1 MiB.
    for (qsizetype at = 0; at < idat.size(); at += 1 << 20)
        putChunk(out, "IDAT", idat.constData() + at,
                 uint32_t(std::min<qsizetype>(idat.size() - at, 1 << 20)));
    putChunk(out, "IEND", nullptr, 0);
    return out;
}
