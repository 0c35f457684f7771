#include "AglBinaryFormat.h"
#include "FileBytes.h"
#include "GraphSettings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// A file holding a float array of the given extents, values 0.5, 1.5, ...
void makeArrayFile(const std::string& path, int slots, std::vector<int32_t> extents,
                   int type = AGL_FLOAT, int language = AGL_LANG_C) {
    extents.resize(size_t(slots), 0);
    aglSegment seg;
    ASSERT_TRUE(seg.create(path.c_str(), slots, extents.data(), type, language, true));
    auto* e = static_cast<uint8_t*>(seg.elements());
    for (int64_t i = 0; i < seg.elementCount() * seg.elementSize(); ++i)
        e[i] = uint8_t(i * 7 + 1);
}

std::unique_ptr<aglSegment> sharedScale(int dims, int type = AGL_DOUBLE, int32_t count = 5) {
    auto s = std::make_unique<aglSegment>();
    const int32_t ext[2] = {count, dims == 2 ? 2 : 0};
    EXPECT_TRUE(s->create(nullptr, dims, ext, type, AGL_LANG_FORTRAN));
    auto* e = static_cast<uint8_t*>(s->elements());
    for (int64_t i = 0; i < s->elementCount() * s->elementSize(); ++i)
        e[i] = uint8_t(i + 3);
    return s;
}

std::unique_ptr<aglSegment> openFile(const std::string& path, bool readOnly = true) {
    auto s = std::make_unique<aglSegment>();
    EXPECT_TRUE(s->open(path, readOnly)) << path;
    return s;
}

} // namespace

TEST(SettingsWord, EachSwitchHasItsOwnBitAndUnpacksBackToOneOrZero) {
    struct Case {
        bool GraphSettings::*field;
        uint32_t bit;
    } cases[] = {
        {&GraphSettings::lineSmooth, 0x10},       {&GraphSettings::showGrid, 0x80},
        {&GraphSettings::flatShading, 0x04},      {&GraphSettings::highLight, 0x08},
        {&GraphSettings::dataClamp, 0x800},       {&GraphSettings::lighting, 0x20000},
        {&GraphSettings::useColorPalette, 0x400}, {&GraphSettings::showAxis, 0x200},
        {&GraphSettings::depthcue, 0x40},         {&GraphSettings::fixedAspect, 0x10000},
    };
    for (const Case& c : cases) {
        GraphSettings s;
        s.*c.field = true;
        EXPECT_EQ(packSettingsWord(s), c.bit);
        GraphSettings back;
        back.*c.field = false;
        back.textureMode = 7;
        unpackSettingsWord(c.bit | 0x80000000u, back); // unknown bits are ignored
        EXPECT_TRUE(back.*c.field);
        EXPECT_EQ(back.textureMode, 0);
        EXPECT_EQ(packSettingsWord(back), c.bit);
    }
    GraphSettings t;
    t.textureMode = -3; // any non-zero mode sets the bit, and reads back as 1
    EXPECT_EQ(packSettingsWord(t), 0x20u);
    unpackSettingsWord(0x20, t);
    EXPECT_EQ(t.textureMode, 1);
    // Style and density are not part of the word.
    t.graphStyle = 4;
    t.gridDensity = 3.5f;
    unpackSettingsWord(0xFFFFFFFFu, t);
    EXPECT_EQ(t.graphStyle, 4);
    EXPECT_EQ(t.gridDensity, 3.5f);
}

TEST(AglBinaryWriter, BareTrailerIsExactly328BytesWithZeroOffsets) {
    TempDir dir;
    makeArrayFile(dir.file("src.agl"), 2, {3, 4});
    auto src = openFile(dir.file("src.agl"));
    AglTrailerParts parts;
    parts.attributes.gridPrecision = 9;
    parts.attributes.annotationOffset = 77; // stale offsets are replaced
    FormatError err;
    ASSERT_TRUE(writeAglFile(*src, dir.file("out.agl"), &parts, nullptr, err)) << err.detail;

    const auto bytes = readBytes(dir.file("out.agl"));
    const size_t head = 12 + 8 * 2 + 12 * 4;
    ASSERT_EQ(bytes.size(), head + 328);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + long(head), src->base()));
    EXPECT_EQ(u32At(bytes, head + 0), 328u);
    EXPECT_EQ(u32At(bytes, head + 4), 100u);
    EXPECT_EQ(u32At(bytes, head + 12), 9u);
    for (size_t off = 280; off < 328; off += 4)
        EXPECT_EQ(u32At(bytes, head + off), 0u) << off;
}

TEST(AglBinaryWriter, PartsFollowTheRecordInOrderAndReadBack) {
    TempDir dir;
    makeArrayFile(dir.file("src.agl"), 7, {2, 5}, AGL_SHORT, AGL_LANG_FORTRAN);
    auto src = openFile(dir.file("src.agl"));
    auto scale1 = sharedScale(1, AGL_DOUBLE, 5);
    auto scale0 = sharedScale(2, AGL_FLOAT, 2); // two-dimensional: written, but skipped on reading
    uint8_t pal[1024];
    for (int i = 0; i < 1024; ++i)
        pal[i] = uint8_t(i * 3);
    auto palette = makePaletteSegment(pal);
    ASSERT_TRUE(palette);

    AglTrailerParts parts;
    parts.annotation = "hello";
    parts.palette = palette.get();
    parts.axisScales[0] = scale0.get();
    parts.axisScales[1] = scale1.get();
    parts.attributes.graphKind = -2;
    parts.attributes.xMaxClamp = 2.5;
    parts.attributes.axisBackColor = 0x00FF8040;
    FormatError err;
    ASSERT_TRUE(writeAglFile(*src, dir.file("out.agl"), &parts, nullptr, err)) << err.detail;

    const auto bytes = readBytes(dir.file("out.agl"));
    const size_t head = 12 + 8 * 7 + 10 * 2; // seven slots: elements at 68
    EXPECT_EQ(src->headerSize(), 68);
    const uint8_t* t = bytes.data() + head;
    EXPECT_EQ(u32At(bytes, head + 280), 328u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 328)), "hello");
    EXPECT_EQ(u32At(bytes, head + 284), 334u); // 328 + 5 + 1
    EXPECT_EQ(0, std::memcmp(t + 334, pal, 1024));
    EXPECT_EQ(u32At(bytes, head + 296), 334u + 1024);
    EXPECT_EQ(u32At(bytes, head + 300), 334u + 1024 + scale0->neededSize());
    EXPECT_EQ(bytes.size(), head + 334 + 1024 + scale0->neededSize() + scale1->neededSize());

    auto back = openFile(dir.file("out.agl"));
    ASSERT_EQ(back->trailerSize(), bytes.size() - head);
    AglTrailer trailer;
    aglAttributes base = aglAttributes::blank();
    base.zScale = 0.8f;
    ASSERT_TRUE(readAglTrailer(*back, base, trailer));
    EXPECT_EQ(trailer.attributes.graphKind, -2);
    EXPECT_EQ(trailer.attributes.xMaxClamp, 2.5);
    EXPECT_EQ(trailer.attributes.axisBackColor, 0x00FF8040u);
    EXPECT_EQ(trailer.attributes.zScale, 0.0f); // the stored record wins over the base
    EXPECT_TRUE(trailer.hasAnnotation);
    EXPECT_EQ(trailer.annotation, "hello");
    ASSERT_TRUE(trailer.palette);
    EXPECT_EQ(trailer.palette->elementCount(), 1024);
    EXPECT_EQ(trailer.palette->typeCode(), AGL_UCHAR);
    EXPECT_EQ(0, std::memcmp(trailer.palette->elements(), pal, 1024));
    EXPECT_FALSE(trailer.axisScales[0]);
    ASSERT_TRUE(trailer.axisScales[1]);
    EXPECT_EQ(trailer.axisScales[1]->typeCode(), AGL_DOUBLE);
    EXPECT_EQ(trailer.axisScales[1]->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(0, std::memcmp(trailer.axisScales[1]->elements(), scale1->elements(), 40));
    EXPECT_NE(trailer.axisScales[1]->name(), scale1->name()); // a block of its own
    EXPECT_EQ(trailer.skipped.size(), 1u);
}

TEST(AglBinaryWriter, FixedFormHeadIsCopiedAsItIs) {
    TempDir dir;
    std::vector<uint8_t> image(324 + 6 * 4, 0);
    const uint32_t magic = 0xF8855884u;
    std::memcpy(image.data(), &magic, 4);
    image[4] = 2;
    image[5] = 5; // AGL_LONG
    image[6] = 0; // ignored in the fixed form
    const int32_t ext[2] = {2, 3}, lb[2] = {-1, 4};
    std::memcpy(image.data() + 12, ext, 8);
    std::memcpy(image.data() + 40, lb, 8);
    image[200] = 0x5A; // not interpreted, still kept
    for (size_t i = 324; i < image.size(); ++i)
        image[i] = uint8_t(i);
    writeBytes(dir.file("fixed.agl"), image.data(), image.size());

    auto src = openFile(dir.file("fixed.agl"));
    ASSERT_TRUE(src->isFixedForm());
    AglTrailerParts parts;
    FormatError err;
    ASSERT_TRUE(writeAglFile(*src, dir.file("copy.agl"), &parts, nullptr, err));
    const auto bytes = readBytes(dir.file("copy.agl"));
    ASSERT_EQ(bytes.size(), image.size() + 328);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin()));
}

TEST(AglBinaryWriter, SavingOntoItsOwnFileRewritesOnlyTheTrailer) {
    TempDir dir;
    makeArrayFile(dir.file("Wave.agl"), 2, {4, 4});
    const auto original = readBytes(dir.file("Wave.agl"));
    auto seg = openFile(dir.file("Wave.agl"));
    AglFileIdentity loaded = AglFileIdentity::of(*seg);
    // A second name for the same file: identity, not spelling, decides.
    ASSERT_EQ(0, link(dir.file("Wave.agl").c_str(), dir.file("alias.agl").c_str()));

    AglTrailerParts parts;
    parts.annotation = std::string(300, 'x');
    FormatError err;
    ASSERT_TRUE(writeAglFile(*seg, dir.file("alias.agl"), &parts, &loaded, err)) << err.detail;
    auto bytes = readBytes(dir.file("Wave.agl"));
    ASSERT_EQ(bytes.size(), original.size() + 328 + 301);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), bytes.begin()));

    // A shorter trailer overwrites from the start and the file is not cut;
    // the identity was updated, so this second save is accepted.
    parts.annotation.clear();
    ASSERT_TRUE(writeAglFile(*seg, dir.file("Wave.agl"), &parts, &loaded, err)) << err.detail;
    bytes = readBytes(dir.file("Wave.agl"));
    ASSERT_EQ(bytes.size(), original.size() + 328 + 301);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), bytes.begin()));
    EXPECT_EQ(u32At(bytes, original.size() + 280), 0u);
    EXPECT_EQ(bytes[original.size() + 328], 'x');

    // Without a trailer nothing is written at all.
    const auto before = readBytes(dir.file("Wave.agl"));
    ASSERT_TRUE(writeAglFile(*seg, dir.file("Wave.agl"), nullptr, &loaded, err));
    EXPECT_EQ(readBytes(dir.file("Wave.agl")), before);
}

TEST(AglBinaryWriter, SaveAsAnotherSpellingWritesTheWholeOtherFile) {
    TempDir dir;
    makeArrayFile(dir.file("Wave.agl"), 1, {10});
    const auto original = readBytes(dir.file("Wave.agl"));
    writeBytes(dir.file("wave.agl"), "an older, longer file that must be replaced entirely", 52);
    auto seg = openFile(dir.file("Wave.agl"));
    AglTrailerParts parts;
    FormatError err;
    ASSERT_TRUE(writeAglFile(*seg, dir.file("wave.agl"), &parts, nullptr, err)) << err.detail;
    EXPECT_EQ(readBytes(dir.file("Wave.agl")), original);
    const auto other = readBytes(dir.file("wave.agl"));
    ASSERT_EQ(other.size(), original.size() + 328);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), other.begin()));

    // Without a trailer the file ends right after the elements.
    ASSERT_TRUE(writeAglFile(*seg, dir.file("wave.agl"), nullptr, nullptr, err));
    EXPECT_EQ(readBytes(dir.file("wave.agl")), original);
}

TEST(AglBinaryWriter, RefusesToWriteIntoItsFileWhenChangedOnDisk) {
    TempDir dir;
    makeArrayFile(dir.file("a.agl"), 1, {8});
    auto seg = openFile(dir.file("a.agl"));
    // Someone else appends to the file after it was read.
    {
        std::ofstream out(dir.file("a.agl"), std::ios::binary | std::ios::app);
        out << "their trailer";
    }
    const auto before = readBytes(dir.file("a.agl"));
    AglTrailerParts parts;
    FormatError err;
    EXPECT_FALSE(writeAglFile(*seg, dir.file("a.agl"), &parts, nullptr, err));
    EXPECT_EQ(err.code, AGL_E_OPEN);
    EXPECT_EQ(err.message, "Error saving file: " + dir.file("a.agl"));
    EXPECT_EQ(readBytes(dir.file("a.agl")), before);
}

TEST(AglBinaryWriter, FailedWritesReportAndKeepTheOldFile) {
    TempDir dir;
    makeArrayFile(dir.file("big.agl"), 1, {100000}, AGL_DOUBLE);
    auto seg = openFile(dir.file("big.agl"));
    const std::string old = "precious old contents";
    writeBytes(dir.file("old.agl"), old.data(), old.size());

    // A file-size limit stands in for a full disk.
    struct rlimit saved {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    FormatError err;
    const bool ok = writeAglFile(*seg, dir.file("old.agl"), nullptr, nullptr, err);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(ok);
    EXPECT_EQ(err.message, "Error saving file: " + dir.file("old.agl"));
    EXPECT_FALSE(err.detail.empty());
    EXPECT_EQ(readText(dir.file("old.agl")), old);

    EXPECT_FALSE(writeAglFile(*seg, dir.file("no/such/folder.agl"), nullptr, nullptr, err));
    EXPECT_FALSE(writeAglFile(*seg, dir.file(""), nullptr, nullptr, err)); // a folder
}

TEST(AglBinaryWriter, TrailerCarriedOverFromTheSameFileStaysByteForByte) {
    TempDir dir;
    makeArrayFile(dir.file("a.agl"), 3, {2, 3, 2});
    auto src = openFile(dir.file("a.agl"));
    auto scale = sharedScale(1, AGL_USHORT, 2);
    AglTrailerParts parts;
    parts.annotation = "notes";
    parts.axisScales[2] = scale.get();
    parts.attributes.elevation = 20;
    FormatError err;
    ASSERT_TRUE(writeAglFile(*src, dir.file("b.agl"), &parts, nullptr, err));
    const auto written = readBytes(dir.file("b.agl"));

    // Views into b's own mapping, written back onto b and onto c.
    auto b = openFile(dir.file("b.agl"));
    AglTrailerView view;
    ASSERT_TRUE(parseAglTrailer(*b, aglAttributes::blank(), view));
    AglTrailerParts again;
    again.attributes = view.attributes;
    again.annotation = std::string(view.annotation);
    for (int d = 0; d < agl::kMaxDims; ++d)
        again.axisScales[size_t(d)] = view.axisScales[size_t(d)].get();
    ASSERT_TRUE(writeAglFile(*b, dir.file("c.agl"), &again, nullptr, err));
    EXPECT_EQ(readBytes(dir.file("c.agl")), written);
    AglFileIdentity id = AglFileIdentity::of(*b);
    ASSERT_TRUE(writeAglFile(*b, dir.file("b.agl"), &again, &id, err)) << err.detail;
    EXPECT_EQ(readBytes(dir.file("b.agl")), written);
}

// ---- Damaged trailers --------------------------------------------------------

namespace {

// A trailer image: the record, then room for parts at chosen offsets.
struct TrailerImage {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(328, 0);
    aglAttributes& record() { return *reinterpret_cast<aglAttributes*>(bytes.data()); }
    TrailerImage() {
        record().size = 328;
        record().version = 100;
    }
    uint32_t append(const void* data, size_t n) {
        const auto at = uint32_t(bytes.size());
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(data),
                     static_cast<const uint8_t*>(data) + n);
        return at;
    }
    // A normal-form segment header of one or two dimensions.
    uint32_t appendScale(int dims, int type, int32_t count, size_t elementBytesPresent) {
        std::vector<uint8_t> h(size_t(12 + 8 * dims), 0);
        const uint32_t magic = 0x01160913u;
        std::memcpy(h.data(), &magic, 4);
        h[4] = 1;
        h[5] = uint8_t(type - AGL_UCHAR);
        h[6] = uint8_t(dims);
        std::memcpy(h.data() + 12, &count, 4);
        if (dims == 2) std::memcpy(h.data() + 16, &count, 4);
        h.resize(h.size() + elementBytesPresent, 0x11);
        return append(h.data(), h.size());
    }
    // Parses a copy that ends exactly at the trailer's end, so any read past
    // it is caught by the address sanitizer.
    bool parse(AglTrailerView& out) {
        m_copy = std::make_unique<uint8_t[]>(bytes.size());
        std::memcpy(m_copy.get(), bytes.data(), bytes.size());
        return parseAglTrailer(m_copy.get(), bytes.size(), aglAttributes::blank(), out);
    }
    std::unique_ptr<uint8_t[]> m_copy;
};

} // namespace

TEST(AglTrailerReader, TrailerShorterThanTheRecordIsIgnored) {
    std::vector<uint8_t> shortOne(327, 0xFF);
    AglTrailerView view;
    aglAttributes base = aglAttributes::blank();
    base.gridPrecision = 6;
    EXPECT_FALSE(parseAglTrailer(shortOne.data(), shortOne.size(), base, view));
    EXPECT_EQ(view.attributes.gridPrecision, 6);
    EXPECT_EQ(view.skipped.size(), 1u);
    EXPECT_FALSE(parseAglTrailer(nullptr, 0, base, view));
    EXPECT_TRUE(view.skipped.empty());
}

TEST(AglTrailerReader, OffsetsOutsideTheTrailerSkipOnlyTheirPart) {
    TrailerImage t;
    const char text[] = "kept";
    t.record().annotationOffset = t.append(text, sizeof text);
    t.record().paletteOffset = uint32_t(t.bytes.size()) - 1000; // runs 24 bytes past the end
    t.record().axisScaleOffset[0] = 0xFFFFFFFFu;
    t.record().axisScaleOffset[1] = uint32_t(t.bytes.size()); // exactly at the end
    AglTrailerView view;
    ASSERT_TRUE(t.parse(view));
    EXPECT_EQ(view.annotation, "kept");
    EXPECT_EQ(view.palette, nullptr);
    for (const auto& s : view.axisScales)
        EXPECT_FALSE(s);
    EXPECT_EQ(view.skipped.size(), 3u);

    // A palette that ends exactly at the trailer's end is whole.
    TrailerImage p;
    std::vector<uint8_t> pal(1024, 0x42);
    p.record().paletteOffset = p.append(pal.data(), pal.size());
    ASSERT_TRUE(p.parse(view));
    ASSERT_NE(view.palette, nullptr);
    EXPECT_EQ(view.palette[1023], 0x42);
}

TEST(AglTrailerReader, AnnotationWithoutItsZeroIsSkipped) {
    TrailerImage t;
    t.record().annotationOffset = t.append("no end", 6);
    AglTrailerView view;
    ASSERT_TRUE(t.parse(view));
    EXPECT_FALSE(view.hasAnnotation);

    TrailerImage e; // an empty annotation is still an annotation
    e.record().annotationOffset = e.append("", 1);
    ASSERT_TRUE(e.parse(view));
    EXPECT_TRUE(view.hasAnnotation);
    EXPECT_EQ(view.annotation, "");
}

TEST(AglTrailerReader, ScaleImagesThatPromiseMoreThanRemainAreSkipped) {
    TrailerImage t;
    t.record().axisScaleOffset[0] = t.appendScale(1, AGL_DOUBLE, 100000000, 1600); // 10^8 doubles
    t.record().axisScaleOffset[1] = t.appendScale(2, AGL_FLOAT, 3, 36);            // two dimensions
    t.record().axisScaleOffset[4] = t.appendScale(1, AGL_SHORT, 4, 8);             // whole
    t.record().axisScaleOffset[3] = t.appendScale(1, AGL_SHORT, 4, 7);             // one byte short
    AglTrailerView view;
    ASSERT_TRUE(t.parse(view));
    for (int d = 0; d < 4; ++d)
        EXPECT_FALSE(view.axisScales[size_t(d)]) << d;
    ASSERT_TRUE(view.axisScales[4]);
    EXPECT_EQ(view.axisScales[4]->elementCount(), 4);
    EXPECT_EQ(view.skipped.size(), 3u);

    // A header cut by the end of the trailer, in both header forms.
    for (uint32_t magic : {0x01160913u, 0xF8855884u}) {
        TrailerImage c;
        uint8_t head[40] = {};
        std::memcpy(head, &magic, 4);
        head[4] = 1;
        head[6] = 7;
        head[12] = 1;
        c.record().axisScaleOffset[6] = c.append(head, sizeof head);
        ASSERT_TRUE(c.parse(view));
        EXPECT_FALSE(view.axisScales[6]);
    }
}

TEST(AglTrailerReader, FileEndingAfterTheElementsHasNoTrailer) {
    TempDir dir;
    makeArrayFile(dir.file("a.agl"), 2, {2, 2});
    auto seg = openFile(dir.file("a.agl"));
    AglTrailer trailer;
    EXPECT_FALSE(readAglTrailer(*seg, aglAttributes::blank(), trailer));
    EXPECT_FALSE(trailer.present);
}
