#include "AglAsciiFormat.h"

#include "ReplacingFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// ---- Writing ---------------------------------------------------------------

// Collects text in a buffer and hands it to a file descriptor (or keeps it
// in a string) in large chunks; remembers the first failure.
class TextSink {
public:
    explicit TextSink(int fd) : m_fd(fd) { m_buffer.reserve(kChunk + 128); }
    explicit TextSink(std::string* out) : m_out(out) {}
    ~TextSink() = default;

    void put(const char* s, size_t n) {
        m_buffer.append(s, n);
        if (m_buffer.size() >= kChunk) flush();
    }
    void put(char c) {
        m_buffer.push_back(c);
        if (m_buffer.size() >= kChunk) flush();
    }
    void put(const std::string& s) { put(s.data(), s.size()); }

    bool flush() {
        if (m_out) {
            m_out->append(m_buffer);
        } else if (m_ok) {
            const char* p = m_buffer.data();
            size_t left = m_buffer.size();
            while (left > 0) {
                const ssize_t n = ::write(m_fd, p, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    m_error = n == 0 ? ENOSPC : errno;
                    m_ok = false;
                    break;
                }
                p += n;
                left -= size_t(n);
            }
        }
        m_buffer.clear();
        return m_ok;
    }
    bool ok() const { return m_ok; }
    int error() const { return m_error; }

private:
    static constexpr size_t kChunk = 1 << 16;
    int m_fd = -1;
    std::string* m_out = nullptr;
    std::string m_buffer;
    bool m_ok = true;
    int m_error = 0;
};

template <typename T> T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Formats one value into buf; returns the end.
template <typename T> char* formatValue(char* buf, char* end, T v, const AsciiNumberFormat& f) {
    if constexpr (std::is_integral_v<T>) {
        return std::to_chars(buf, end, v).ptr;
    } else {
        // The reader takes a value only from a digit, sign or point: a
        // positive infinity or NaN gets an explicit sign, or it would be
        // skipped and every later value would land one element early.
        if (!std::isfinite(v) && !std::signbit(v)) *buf++ = '+';
        if (f.precision <= 0)
            return (f.exponent ? std::to_chars(buf, end, v, std::chars_format::scientific)
                               : std::to_chars(buf, end, v))
                .ptr;
        const int p = f.precision > 17 ? 17 : f.precision;
        const double d = double(v);
        return (f.exponent ? std::to_chars(buf, end, d, std::chars_format::scientific, p)
                           : std::to_chars(buf, end, d, std::chars_format::general, p))
            .ptr;
    }
}

template <typename T>
void writeValues(TextSink& sink, const uint8_t* data, int64_t count, const int64_t* blocks,
                 int blockCount, const AsciiNumberFormat& f) {
    // blocks[0] is the last extent; blocks[k] the product of the last k + 1.
    char buf[64];
    int64_t nextLine = blocks[0];
    for (int64_t i = 0; i < count; ++i) {
        char* e = formatValue(buf, buf + sizeof buf - 8, load<T>(data + i * int64_t(sizeof(T))), f);
        const int64_t written = i + 1;
        if (written == nextLine) {
            *e++ = '\n';
            nextLine += blocks[0];
            for (int k = 1; k < blockCount && written % blocks[k] == 0; ++k)
                *e++ = '\n';
        } else {
            *e++ = '\t';
        }
        sink.put(buf, size_t(e - buf));
        if (!sink.ok()) return;
    }
}

void writeText(const aglArray& array, const AsciiNumberFormat& format, TextSink& sink) {
    const int type = array.typeCode();
    const int dims = array.dimCount();
    const bool fortran = array.language() == AGL_LANG_FORTRAN;
    sink.put("#agl ascii data V1.0\n");
    sink.put(std::string("#type ") + agl::typeInfo(type).enumerator + "\n");
    sink.put(fortran ? "#lang Fortran\n" : "#lang C\n");
    std::string dim = "#dim";
    char buf[64];
    for (int k = 0; k < dims; ++k) {
        const int32_t extent = array.extent(k);
        const int32_t lb = array.lowerBound(k);
        if (fortran && lb != 1)
            std::snprintf(buf, sizeof buf, " %d:%lld", lb, (long long)(int64_t(lb) + extent - 1));
        else
            std::snprintf(buf, sizeof buf, " %d", extent);
        dim += buf;
    }
    dim += '\n';
    sink.put(dim);

    // Products of the trailing extents: a line per last extent, one more
    // line end per completed block of each higher dimension.
    int64_t blocks[agl::kMaxDims] = {};
    int64_t product = 1;
    for (int k = 0; k < dims; ++k) {
        product *= array.extent(dims - 1 - k);
        blocks[k] = product;
    }
    const auto* data = static_cast<const uint8_t*>(array.data());
    const int64_t count = array.elementCount();
    if (!data || dims < 1 || count < 1) return;
    switch (type) {
    case AGL_UCHAR:
        writeValues<uint8_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_CHAR:
        writeValues<int8_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_USHORT:
        writeValues<uint16_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_SHORT:
        writeValues<int16_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_ULONG:
        writeValues<uint32_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_LONG:
        writeValues<int32_t>(sink, data, count, blocks, dims, format);
        break;
    case AGL_FLOAT:
        writeValues<float>(sink, data, count, blocks, dims, format);
        break;
    default:
        writeValues<double>(sink, data, count, blocks, dims, format);
        break;
    }
}

// ---- Reading ---------------------------------------------------------------

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
// Line ends: LF (and so CR LF), and a lone CR as old Mac files have them.
inline bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}
inline bool startsValue(char c) {
    return isDigit(c) || c == '+' || c == '-' || c == '.';
}
// The characters skipped after a value.
inline bool isNumberChar(char c) {
    return startsValue(c) || c == 'e' || c == 'E';
}

// Converts the floating-point number at [p, end) as "%f" would; returns the
// end of what was converted, or nullptr when nothing converts.
template <typename T> const char* convertFloat(const char* p, const char* end, T& value) {
    const char* start = p;
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') return nullptr; // "+-": no number
    }
    if (p >= end) return nullptr;
    auto r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the type's range: what strtod gives (infinity or zero with
        // the sign), from a bounded copy of the token.
        char buf[512];
        const size_t n =
            size_t(r.ptr - start) < sizeof buf - 1 ? size_t(r.ptr - start) : sizeof buf - 1;
        std::memcpy(buf, start, n);
        buf[n] = 0;
        if constexpr (std::is_same_v<T, float>)
            value = std::strtof(buf, nullptr);
        else
            value = std::strtod(buf, nullptr);
        return r.ptr;
    }
    if (r.ec != std::errc()) return nullptr;
    return r.ptr;
}

// The decimal integer at [p, end) (optional sign, digits; stops at anything
// else, "." included), saturated at +-2^40: far beyond every 32-bit value and
// extent, and small enough that sums and differences of two never overflow.
int64_t convertInteger(const char* p, const char* end) {
    constexpr int64_t kSaturated = int64_t(1) << 40;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int64_t m = 0;
    for (; p < end && isDigit(*p); ++p)
        m = m >= kSaturated ? kSaturated : m * 10 + (*p - '0');
    if (m > kSaturated) m = kSaturated;
    return negative ? -m : m;
}

int64_t clampTo(int64_t v, int64_t lo, int64_t hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

// Stores the token at [p, end) (already known to convert as a number) as
// element i of the given type.
void storeValue(int type, uint8_t* data, int64_t i, const char* p, const char* end) {
    switch (type) {
    case AGL_FLOAT: {
        float f = 0;
        convertFloat(p, end, f);
        std::memcpy(data + i * 4, &f, 4);
        return;
    }
    case AGL_DOUBLE: {
        double d = 0;
        convertFloat(p, end, d);
        std::memcpy(data + i * 8, &d, 8);
        return;
    }
    default:
        break;
    }
    const int64_t v = convertInteger(p, end);
    if (type == AGL_UCHAR || type == AGL_USHORT || type == AGL_ULONG) {
        // The unsigned conversion reads a negative number as its 32-bit
        // two's complement; 8- and 16-bit elements then take their maximum.
        const uint32_t u = uint32_t(clampTo(v, INT32_MIN, UINT32_MAX));
        if (type == AGL_UCHAR) {
            data[i] = uint8_t(u > 255 ? 255 : u);
        } else if (type == AGL_USHORT) {
            const uint16_t s = uint16_t(u > 65535 ? 65535 : u);
            std::memcpy(data + i * 2, &s, 2);
        } else {
            std::memcpy(data + i * 4, &u, 4);
        }
        return;
    }
    const int32_t s = int32_t(clampTo(v, INT32_MIN, INT32_MAX));
    if (type == AGL_CHAR) {
        data[i] = uint8_t(int8_t(clampTo(s, -128, 127)));
    } else if (type == AGL_SHORT) {
        const int16_t h = int16_t(clampTo(s, -32768, 32767));
        std::memcpy(data + i * 2, &h, 2);
    } else {
        std::memcpy(data + i * 4, &s, 4);
    }
}

// Walks the text with an explicit end.
class AsciiScanner {
public:
    AsciiScanner(const char* text, size_t length) : m_begin(text), m_end(text + length) {}

    struct Header {
        int type = AGL_FLOAT;
        int language = AGL_LANG_FORTRAN;
        int dims = 0;
        int64_t extents[agl::kMaxDims] = {};
        int64_t lowerBounds[agl::kMaxDims] = {1, 1, 1, 1, 1, 1, 1};
        // Why the last "#dim" line cannot be used; empty when it can.
        std::string dimError;
    };

    // Applies directives up to the first value; returns its position, or
    // nullptr when the text holds no value.
    const char* scanHeader(Header& h) {
        const char* p = m_begin;
        bool lineStart = true;
        while (p < m_end) {
            const char c = *p;
            if (lineStart && c == '#') {
                p = directive(p, h);
                continue;
            }
            if (lineStart && c == '!') {
                p = lineEnd(p);
                continue;
            }
            if (startsValue(c)) {
                if (tokenConverts(p)) return p;
                p = skipNumberChars(p);
                lineStart = false;
                continue;
            }
            lineStart = isLineEnd(c);
            ++p;
        }
        return nullptr;
    }

    // The shape guessed from the layout: values on the first line (c) and
    // lines whose first number-like token converts (r).
    void guessShape(const char* first, int64_t& columns, int64_t& rows) const {
        columns = 0;
        const char* p = first;
        while (p < m_end && !isLineEnd(*p)) {
            if (startsValue(*p)) {
                const char* after = valueEnd(p);
                if (after) {
                    ++columns;
                    p = skipNumberChars(after);
                    if (p < m_end && *p == '!') break; // comment to the line end
                } else {
                    p = skipNumberChars(p);
                }
                continue;
            }
            ++p;
        }
        rows = 0;
        p = first;
        bool firstLine = true;
        while (p < m_end) {
            const char* eol = lineEnd(p);
            // Comment lines hold no values, so they are no rows either.
            if (firstLine || *p != '!') {
                const char* q = p;
                while (q < eol && !isNumberChar(*q))
                    ++q;
                if (q < eol && valueEnd(q)) ++rows;
            }
            firstLine = false;
            p = eol < m_end ? eol + 1 : eol;
        }
    }

    // Stores values from first on into data (count elements of type);
    // returns how many were stored.
    int64_t readValues(const char* first, int type, uint8_t* data, int64_t count) const {
        // Floating-point elements are converted once, straight into their
        // own type; the pattern a number must match is the same for both.
        switch (type) {
        case AGL_FLOAT:
            return scanValues(first, count, [&](const char* p, int64_t i) {
                float f;
                const char* e = convertFloat(p, m_end, f);
                if (e) std::memcpy(data + i * 4, &f, 4);
                return e;
            });
        case AGL_DOUBLE:
            return scanValues(first, count, [&](const char* p, int64_t i) {
                double d;
                const char* e = convertFloat(p, m_end, d);
                if (e) std::memcpy(data + i * 8, &d, 8);
                return e;
            });
        default:
            return scanValues(first, count, [&](const char* p, int64_t i) {
                const char* e = valueEnd(p);
                if (e) storeValue(type, data, i, p, e);
                return e;
            });
        }
    }

private:
    // Walks the values from first on; convert(p, i) stores element i from
    // the number at p and returns its end, or nullptr when it does not convert.
    template <typename Convert>
    int64_t scanValues(const char* first, int64_t count, Convert convert) const {
        int64_t stored = 0;
        const char* p = first;
        bool lineStart = false;
        while (p < m_end && stored < count) {
            const char c = *p;
            if (startsValue(c)) {
                const char* after = convert(p, stored);
                if (after) {
                    ++stored;
                    p = skipNumberChars(after);
                    if (p < m_end && *p == '!') p = lineEnd(p);
                } else {
                    p = skipNumberChars(p);
                }
                lineStart = false;
                continue;
            }
            if (lineStart && c == '!') {
                p = lineEnd(p);
                continue;
            }
            lineStart = isLineEnd(c);
            ++p;
        }
        return stored;
    }

    const char* lineEnd(const char* p) const {
        while (p < m_end && !isLineEnd(*p))
            ++p;
        return p;
    }
    const char* skipNumberChars(const char* p) const {
        while (p < m_end && isNumberChar(*p))
            ++p;
        return p;
    }
    // End of the number that starts at p as "%f" reads it, or nullptr.
    const char* valueEnd(const char* p) const {
        double v;
        return convertFloat(p, m_end, v);
    }
    bool tokenConverts(const char* p) const { return valueEnd(p) != nullptr; }

    static bool startsWith(const char* p, const char* end, const char* word) {
        const size_t n = std::strlen(word);
        return size_t(end - p) >= n && std::memcmp(p, word, n) == 0;
    }
    static bool startsWithNoCase(const char* p, const char* end, const char* word) {
        const size_t n = std::strlen(word);
        if (size_t(end - p) < n) return false;
        for (size_t i = 0; i < n; ++i) {
            char c = p[i];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != word[i]) return false;
        }
        return true;
    }

    // Applies the directive line at p; returns the start of the next line.
    const char* directive(const char* p, Header& h) const {
        const char* eol = lineEnd(p);
        const char* next = eol < m_end ? eol + 1 : eol;
        if (startsWith(p, eol, "#lang")) {
            for (const char* q = p + 5; q < eol; ++q) {
                const char c = *q;
                if (isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
                    h.language = (c == 'c' || c == 'C') ? AGL_LANG_C : AGL_LANG_FORTRAN;
                    break;
                }
            }
        } else if (startsWith(p, eol, "#type")) {
            const char* q = p + 5;
            while (q < eol && (*q == ' ' || *q == '\t'))
                ++q;
            if (startsWithNoCase(q, eol, "agl_")) q += 4;
            static const char* const kNames[8] = {"uchar", "char", "ushort", "short",
                                                  "ulong", "long", "float",  "double"};
            static const int kCodes[8] = {AGL_UCHAR, AGL_CHAR, AGL_USHORT, AGL_SHORT,
                                          AGL_ULONG, AGL_LONG, AGL_FLOAT,  AGL_DOUBLE};
            for (int i = 0; i < 8; ++i) {
                if (startsWithNoCase(q, eol, kNames[i])) {
                    h.type = kCodes[i];
                    break;
                }
            }
        } else if (startsWith(p, eol, "#dim")) {
            h.dims = 0;
            h.dimError.clear();
            for (int k = 0; k < agl::kMaxDims; ++k) {
                h.extents[k] = 0;
                h.lowerBounds[k] = 1;
            }
            // Every number on the line is a dimension: one that cannot be
            // used is an error rather than a dimension quietly left out,
            // which would shift every value of the file into another place.
            const char* q = p + 4;
            while (q < eol) {
                if (!(isDigit(*q) || *q == '-')) {
                    ++q;
                    continue;
                }
                const char* numberEnd = q + 1;
                while (numberEnd < eol && isDigit(*numberEnd))
                    ++numberEnd;
                const std::string token(q, size_t(numberEnd - q));
                const int64_t lo = convertInteger(q, numberEnd);
                q = numberEnd;
                int64_t extent = 0, lower = 1;
                std::string text = token;
                if (q + 1 < eol && *q == ':' && (isDigit(q[1]) || q[1] == '-' || q[1] == '+')) {
                    const char* hiEnd = q + 2;
                    while (hiEnd < eol && isDigit(*hiEnd))
                        ++hiEnd;
                    const int64_t hi = convertInteger(q + 1, hiEnd);
                    text = token + std::string(q, size_t(hiEnd - q));
                    q = hiEnd;
                    if (hi < lo) {
                        if (h.dimError.empty())
                            h.dimError = "\"#dim\" bounds " + text + " end below their start";
                        continue;
                    }
                    extent = hi - lo + 1;
                    lower = lo;
                } else if (lo >= 1) {
                    extent = lo;
                } else {
                    if (h.dimError.empty())
                        h.dimError = "\"#dim\" extent " + text + " is not 1 or more";
                    continue;
                }
                if (h.dims == agl::kMaxDims) {
                    if (h.dimError.empty()) h.dimError = "\"#dim\" lists more than 7 dimensions";
                    continue;
                }
                h.extents[h.dims] = extent;
                h.lowerBounds[h.dims] = lower;
                ++h.dims;
            }
        }
        return next;
    }

    const char* m_begin;
    const char* m_end;
};

} // namespace

void formatAglAscii(const aglArray& array, const AsciiNumberFormat& format, std::string& out) {
    TextSink sink(&out);
    writeText(array, format, sink);
    sink.flush();
}

bool writeAglAscii(const aglArray& array, const std::string& rawPath,
                   const AsciiNumberFormat& format, FormatError& error) {
    error = FormatError{};
    std::string path = rawPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    auto failed = [&](const std::string& detail) {
        error.code = AGL_E_OPEN;
        error.message = "Error saving file: " + path;
        error.detail = detail;
        return false;
    };
    // Never written over in place: the array may be mapped from the very
    // file it is saved to (a binary file named .txt), and a full disk must
    // leave the old file.
    ReplacingFile file;
    if (!file.open(path)) return failed(file.error());
    TextSink sink(file.descriptor());
    writeText(array, format, sink);
    sink.flush();
    if (!sink.ok()) {
        file.setError("write", sink.error());
        return failed(file.error());
    }
    if (!file.commit()) return failed(file.error());
    return true;
}

AsciiReadResult readAglAscii(const char* text, size_t length, const AsciiReadOptions& options) {
    AsciiReadResult result;
    auto fail = [&](int code, const std::string& detail) {
        result.array.reset();
        result.error.code = code;
        result.error.detail = detail;
        return std::move(result);
    };
    if (!text) length = 0;
    AsciiScanner scanner(text, length);
    AsciiScanner::Header h;
    const char* first = length ? scanner.scanHeader(h) : nullptr;
    if (!first) return fail(AGL_E_FORMAT, "the text holds no number");
    if (!h.dimError.empty()) return fail(AGL_E_EXTENT, h.dimError);

    if (h.dims == 0) {
        int64_t columns = 0, rows = 0;
        scanner.guessShape(first, columns, rows);
        if (columns == 0 && rows == 0) return fail(AGL_E_FORMAT, "no shape could be guessed");
        if (columns < 2 || rows < 2) {
            h.dims = 1;
            h.extents[0] = columns >= 2 ? columns : rows;
        } else {
            h.dims = 2;
            h.extents[0] = rows;
            h.extents[1] = columns;
        }
        for (int64_t& lb : h.lowerBounds)
            lb = 1;
    }

    // 64-bit arithmetic throughout: a 32-bit byte count of a large "#dim"
    // would wrap to a small one.
    const agl::TypeInfo& ti = agl::typeInfo(h.type);
    const int64_t limit =
        options.maxElements < agl::kMaxElements ? options.maxElements : agl::kMaxElements;
    int64_t count = 1;
    int32_t extents[agl::kMaxDims] = {};
    for (int k = 0; k < h.dims; ++k) {
        if (h.extents[k] < 1) return fail(AGL_E_EXTENT, "an extent below 1");
        if (h.extents[k] > agl::kMaxElements || count > limit / h.extents[k])
            return fail(AGL_E_TOO_LARGE, "more elements than an array can hold");
        if (h.lowerBounds[k] < INT32_MIN || h.lowerBounds[k] + h.extents[k] - 1 > INT32_MAX)
            return fail(AGL_E_EXTENT, "a bound outside the 32-bit range");
        count *= h.extents[k];
        extents[k] = int32_t(h.extents[k]);
    }
    if (count < 1) return fail(AGL_E_EXTENT, "no elements");
    const int64_t bytes = count * ti.size;
    if (bytes > agl::kMaxElements)
        return fail(AGL_E_TOO_LARGE, "more element bytes than one allocation can hold");

    auto array = std::make_unique<aglArray>();
    array->setLanguage(h.language);
    if (!array->allocate(bytes) || array->reshape(h.dims, extents, ti.code) != 0)
        return fail(array->takeError(), "the array's storage could not be made");
    if (h.language == AGL_LANG_FORTRAN)
        for (int k = 0; k < h.dims; ++k)
            array->setLowerBound(k, int32_t(h.lowerBounds[k]));
    if (h.dims > 1) {
        array->setRowDim(0);
        array->setColDim(1);
    }
    auto* data = static_cast<uint8_t*>(array->mutableData());
    const int64_t stored = scanner.readValues(first, ti.code, data, count);
    if (stored == 0) return fail(AGL_E_FORMAT, "no value was read");
    if (stored < count) {
        std::memset(data + stored * ti.size, 0, size_t((count - stored) * ti.size));
        char buf[128];
        std::snprintf(buf, sizeof buf, "Expecting %d data elements, \nbut only read %d\n",
                      int(count), int(stored));
        result.warning = buf;
    }
    result.expected = count;
    result.read = stored;
    result.array = std::move(array);
    return result;
}
