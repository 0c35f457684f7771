// The array file opener that the viewer and agltool share: each format is
// chosen by its signature and read by its own reader; the forgiving text
// reader gets only files that are text; a file with a signature whose
// reader refuses it is refused with that reader's reason. NumPy's 64-bit
// integers and half floats arrive as a double copy, the other NumPy types
// are mapped in place.
#include "ArrayFileOpener.h"

#include "FileBytes.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string dataFile(const std::string& name) {
    return std::string(TAVRIX_SOURCE_DIR) + "/tests/data/" + name;
}

// The elements of the default plane, row by row.
std::vector<double> planeValues(const aglArray& a) {
    std::vector<double> out;
    int32_t c0, r0, nc, nr;
    a.planeRoi(c0, r0, nc, nr);
    for (int64_t r = r0; r < r0 + nr; ++r)
        for (int64_t c = c0; c < c0 + nc; ++c)
            out.push_back(a.value(c, r));
    return out;
}

} // namespace

TEST(ArrayFileOpener, EachFormatIsChosenByItsSignatureAndReadByItsReader) {
    TempDir dir;
    struct Case {
        std::string path;
        ArrayFormat format;
    } cases[] = {
        {std::string(TAVRIX_SOURCE_DIR) + "/examples/wave.agl", ArrayFormat::Agl},
        {dataFile("npy/ok_i2.npy"), ArrayFormat::Numpy},
        {dataFile("npy/ok_i8.npy"), ArrayFormat::Numpy},
        {dataFile("bmp/magick_124_rle8.bmp"), ArrayFormat::Bitmap},
        {dir.write("plain.txt", "1 2\n3 4\n"), ArrayFormat::Text},
        {dir.write("utf8.txt", "# Temperatur in \xc2\xb0"
                               "C, gemessen \xc3\xbc"
                               "ber Nacht\n"
                               "1.5 2.5\n3.5 4.5\n"),
         ArrayFormat::Text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int error = 0;
        std::string reason;
        EXPECT_EQ(detectArrayFormat(c.path, error, reason), c.format) << reason;
        const OpenedArray opened = openArrayFile(c.path);
        ASSERT_TRUE(opened.ok()) << opened.reason;
        EXPECT_EQ(opened.format, c.format);
        ASSERT_NE(opened.shown(), nullptr);
        EXPECT_GT(opened.shown()->elementCount(), 1);
    }
}

// A 24-bit bitmap once went to the text reader, which found the "6" of its
// pixel offset (54) and made a one-element array of it.
TEST(ArrayFileOpener, ABitmapItCannotReadIsRefusedWithTheBitmapReason) {
    const OpenedArray opened = openArrayFile(dataFile("bmp/magick_24bit.bmp"));
    EXPECT_FALSE(opened.ok());
    EXPECT_EQ(opened.format, ArrayFormat::Bitmap);
    EXPECT_EQ(opened.error, AGL_E_FORMAT);
    EXPECT_EQ(opened.reason, "only 1, 2, 4 and 8 bits per pixel are supported");
    EXPECT_EQ(opened.shown(), nullptr);
}

// Text that happens to begin with "BM" is still text.
TEST(ArrayFileOpener, TextBeginningWithTheBitmapSignatureIsReadAsText) {
    TempDir dir;
    const OpenedArray opened = openArrayFile(dir.write("bm.txt", "BM readings\n1 2 3\n4 5 6\n"));
    ASSERT_TRUE(opened.ok()) << opened.reason;
    EXPECT_EQ(opened.format, ArrayFormat::Text);
    EXPECT_EQ(planeValues(*opened.shown()), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

// Binary files with no signature are refused, however many digits they
// hold; so are damaged files of a known format, with their format's reason.
TEST(ArrayFileOpener, BinaryFilesWithoutASignatureAreRefusedNotReadAsText) {
    TempDir dir;
    std::string elf = std::string("\x7f"
                                  "ELF\x02\x01\x01",
                                  7) +
                      std::string(9, '\0');
    for (int i = 0; i < 200; ++i)
        elf += "3.25 " + std::string(1, char(i));
    std::string mostlyControl;
    for (int i = 0; i < 400; ++i)
        mostlyControl += (i % 4 == 0) ? char(1 + i % 30) : '7';
    const std::string npy = readText(dataFile("npy/ok_f4.npy"));
    struct Case {
        std::string name, bytes, reason;
    } cases[] = {
        {"elf", elf,
         "not an array file: it has no agl, HDF4, HDF5, NetCDF, NumPy or bitmap signature, and it "
         "is not text"},
        {"control", mostlyControl,
         "not an array file: it has no agl, HDF4, HDF5, NetCDF, NumPy or bitmap "
         "signature, and it is not text"},
        {"cut.npy", npy.substr(0, 40), "NumPy header is cut off"},
        {"short.npy", npy.substr(0, npy.size() - 3), "NumPy file is shorter than its header says"},
        {"short.agl", std::string("\x13\x09\x16\x01\x01\x06\x02", 7) + std::string(5, '\0'),
         "the agl header is damaged, or the file is shorter than its header says"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpenedArray opened = openArrayFile(dir.write(c.name, c.bytes));
        EXPECT_FALSE(opened.ok());
        EXPECT_EQ(opened.reason, c.reason);
        EXPECT_EQ(opened.error, AGL_E_FORMAT);
        EXPECT_EQ(opened.shown(), nullptr);
    }
}

TEST(ArrayFileOpener, TextIsNoNulAndNinetyPercentPrintable) {
    auto text = [](const std::string& s) {
        return looksLikeText(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_TRUE(text(""));
    EXPECT_TRUE(text("1\t2\r\n3\f4\v"));
    EXPECT_TRUE(text("caf\xc3\xa9 \xe2\x82\xac 1 2 3"));
    EXPECT_FALSE(text(std::string("1 2 3\0", 6)));
    EXPECT_TRUE(text(std::string(90, '1') + std::string(10, '\x01')));
    EXPECT_FALSE(text(std::string(89, '1') + std::string(11, '\x01')));
    EXPECT_FALSE(text(std::string(50, '1') + std::string(50, '\xb5'))); // Latin-1, not UTF-8
}

TEST(ArrayFileOpener, FoldersAndMissingNamesAreRefusedWithWhy) {
    TempDir dir;
    const OpenedArray folder = openArrayFile(dir.path());
    EXPECT_EQ(folder.error, AGL_E_OPEN);
    EXPECT_EQ(folder.reason, "a folder, not a file");
    const OpenedArray missing = openArrayFile(dir.file("no-such-file-or-block"));
    EXPECT_EQ(missing.error, AGL_E_OPEN);
    EXPECT_EQ(missing.format, ArrayFormat::Agl);
    EXPECT_EQ(missing.reason, "there is no file or shared-memory block of that name");
}

// The types the array core holds stay in the file (no copy); NumPy's
// default integer and the other types it lacks become a double copy.
TEST(ArrayFileOpener, NumpyTypesTheCoreHoldsAreMappedTheOthersCopiedAsDoubles) {
    const OpenedArray mapped = openArrayFile(dataFile("npy/ok_i4.npy"));
    ASSERT_TRUE(mapped.ok()) << mapped.reason;
    ASSERT_NE(mapped.array->segment(), nullptr);
    EXPECT_TRUE(mapped.array->segment()->isNumpy());
    EXPECT_TRUE(mapped.convertedFrom.empty());
    EXPECT_TRUE(mapped.note.empty());

    struct Case {
        const char* file;
        const char* from;
    } cases[] = {{"ok_i8", "int64"}, {"ok_u8", "uint64"}, {"ok_f2", "float16"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const OpenedArray opened = openArrayFile(dataFile(std::string("npy/") + c.file + ".npy"));
        ASSERT_TRUE(opened.ok()) << opened.reason;
        EXPECT_EQ(opened.format, ArrayFormat::Numpy);
        const aglArray& a = *opened.array;
        EXPECT_EQ(a.typeCode(), AGL_DOUBLE);
        EXPECT_FALSE(a.segment()->isNumpy());
        EXPECT_TRUE(a.segment()->isSharedMemory());
        EXPECT_EQ(a.language(), AGL_LANG_C);
        ASSERT_EQ(a.dimCount(), 2);
        EXPECT_EQ(a.extent(0), 2);
        EXPECT_EQ(a.extent(1), 3);
        EXPECT_EQ(planeValues(a), (std::vector<double>{1, 2, 3, 11, 12, 13}));
        EXPECT_EQ(opened.convertedFrom, c.from);
        EXPECT_EQ(opened.impreciseValues, 0);
        EXPECT_EQ(opened.note, std::string("a double copy of ") + c.from + " data");
    }
}

TEST(ArrayFileOpener, AFortranOrderCopyShowsThePlaneAMappedFileWouldShow) {
    const OpenedArray copy = openArrayFile(dataFile("npy/ok_fortran_i8.npy"));
    const OpenedArray mapped = openArrayFile(dataFile("npy/ok_fortran_f8.npy"));
    ASSERT_TRUE(copy.ok()) << copy.reason;
    ASSERT_TRUE(mapped.ok()) << mapped.reason;
    EXPECT_EQ(copy.array->language(), AGL_LANG_FORTRAN);
    EXPECT_EQ(copy.array->extent(0), 3);
    EXPECT_EQ(copy.array->lowerBound(0), 1);
    EXPECT_EQ(copy.array->lowerBound(1), 1);
    EXPECT_EQ(copy.array->rowDim(), mapped.array->rowDim());
    EXPECT_EQ(copy.array->colDim(), mapped.array->colDim());
    EXPECT_EQ(planeValues(*copy.array), planeValues(*mapped.array));
    EXPECT_EQ(copy.array->shapeText(), "real*8 M(2, 3)");
}

TEST(ArrayFileOpener, IntegersBeyondTwoToThe53AreCountedInTheNote) {
    const OpenedArray opened = openArrayFile(dataFile("npy/big_i8.npy"));
    ASSERT_TRUE(opened.ok()) << opened.reason;
    EXPECT_EQ(opened.impreciseValues, 3);
    EXPECT_EQ(opened.note, "a double copy of int64 data; 3 values beyond 2^53 lost precision");
    EXPECT_EQ(opened.array->value(3, 0), 4611686018427387904.0); // 2^62, exact
    EXPECT_EQ(opened.array->value(5, 0), -9223372036854775808.0);
}

TEST(ArrayFileOpener, BitmapsComeWithTheirPalette) {
    const OpenedArray opened = openArrayFile(dataFile("bmp/magick_40_4bit.bmp"));
    ASSERT_TRUE(opened.ok()) << opened.reason;
    ASSERT_NE(opened.palette, nullptr);
    EXPECT_EQ(opened.palette->typeCode(), AGL_ULONG);
    EXPECT_EQ(opened.palette->elementCount(), 256);
    EXPECT_EQ(opened.paletteMaxValue, 15);
    EXPECT_EQ(opened.array->typeCode(), AGL_UCHAR);
    EXPECT_EQ(opened.array->shapeText(), "uint*1 M(7, 5)");
}
