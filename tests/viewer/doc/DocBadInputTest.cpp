// The document on files that are damaged, vanish, shrink, grow or are
// replaced while it holds them, and on things that are not files at all:
// a clear message or the new array, never a crash, a hang or torn data.
#include "DocFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace plotrane;

namespace {} // namespace

TEST_F(DocTest, FilesThatCannotBeReadAreRefusedAndThePreviousArrayStays) {
    const std::string good = dir.file("good.agl");
    makeAglFile(good, 2, 3);
    ASSERT_TRUE(doc->open(good));

    // Each refusal says why first (an HDF file the HDF library cannot read
    // in the library's words), then the message every failed open gives.
    struct Case {
        const char* name;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"empty.txt", "", "the file is empty"},
        {"abc.txt", "abc", "the text holds no number"},
        {"words.txt", "no numbers here\n", "the text holds no number"},
        {"depth24.bmp",
         std::string("BM") + std::string(12, '\0') +
             std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 16) + std::string(40, '\0'),
         "only 1, 2, 4 and 8 bits per pixel are supported"},
        {"data.hdf", std::string("\x0E\x03\x13\x01", 4) + std::string(100, '\0'),
         "Couldn't read file!"},
        {"short.agl", std::string("\x13\x09\x16\x01\x01\x06\x02", 7) + std::string(5, '\0'),
         "the agl header is damaged, or the file is shorter than its header says"},
        {"junk.dat",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\0 6 7 8.5",
                     18),
         "not an array file: it has no agl, HDF4, HDF5, NetCDF, NumPy or bitmap signature, and it "
         "is not "
         "text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.shown.clear();
        const std::string path = dir.write(c.name, c.bytes);
        EXPECT_FALSE(doc->open(path));
        ASSERT_EQ(sink.shown.size(), 2u);
        EXPECT_EQ(sink.shown[0].text, c.why);
        EXPECT_EQ(sink.shown[0].icon,
                  std::string(c.name) == "data.hdf" ? MessageIcon::Error : MessageIcon::Warning);
        sink.shown.erase(sink.shown.begin());
        EXPECT_EQ(sink.shown[0].text, "Unable to read file: " + path);
        EXPECT_EQ(sink.shown[0].icon, MessageIcon::Exclamation);
        EXPECT_NE(doc->lastError(), 0);
        EXPECT_EQ(doc->path(), good);
        EXPECT_EQ(doc->currentArray()->elementCount(), 6);
        EXPECT_EQ(doc->currentArray()->value(2, 1), 5.5);
    }
}

TEST_F(DocTest, FileReplacedByRenameIsNoticedAndReloadShowsTheNewArray) {
    const std::string path = dir.file("data.agl");
    makeAglFile(path, 2, 2);
    ASSERT_TRUE(doc->open(path));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    // Same size, same time, new file: only the inode tells.
    const std::string fresh = dir.file("data.agl.new");
    makeAglFile(fresh, 2, 2, AGL_FLOAT);
    {
        aglSegment s;
        ASSERT_TRUE(s.open(fresh, false));
        const float v = 42.0f;
        std::memcpy(s.elements(), &v, 4);
    }
    struct timespec t[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, fresh.c_str(), t, 0), 0);
    ASSERT_EQ(std::rename(fresh.c_str(), path.c_str()), 0);

    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(doc->currentArray()->value(0, 0), 42.0);
    // Watching the new file now: no further question.
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
}

// A file another program truncates, lengthens or turns into another type:
// the reload shows the new array or says clearly that it cannot, and never
// shows the torn remains.
TEST_F(DocTest, ReloadAfterTruncationOrRewriteShowsTheNewArrayOrAClearMessage) {
    const std::string path = dir.file("moving.agl");
    makeAglFile(path, 64, 64);
    ASSERT_TRUE(doc->open(path));

    // Longer, other type.
    makeAglFile(path, 100, 80, AGL_UCHAR);
    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(doc->currentArray()->typeCode(), AGL_UCHAR);
    EXPECT_EQ(doc->currentArray()->extent(0), 100);
    EXPECT_EQ(ctl().num(DISPID_RowDim), doc->currentArray()->rowDim());

    // Cut off in the middle of the elements, in place.
    ASSERT_EQ(::truncate(path.c_str(), 2000), 0);
    sink.answers = {true};
    doc->checkForChange();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "Unable to read file: " + path);
    EXPECT_FALSE(doc->hasData());

    // Written again, shorter and valid.
    makeAglFile(path, 3, 5);
    ASSERT_TRUE(doc->open(path));
    EXPECT_EQ(doc->currentArray()->elementCount(), 15);
    EXPECT_EQ(doc->currentArray()->value(4, 2), 14.5);
}

TEST_F(DocTest, TruncatedFileReadsAsZerosUntilTheQuestionIsAnswered) {
    const std::string path = dir.file("cut.agl");
    makeAglFile(path, 1024, 1024); // 4 MiB: many pages
    ASSERT_TRUE(doc->open(path));
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    // Reading past the new end must not kill the process.
    EXPECT_EQ(doc->currentArray()->value(10, 1000), 0.0);
    sink.answers = {false};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
}

// A save after someone else replaced or rewrote the file: a replacement
// (new inode) gets a complete file of ours, never our trailer on their
// elements; a file rewritten in place is refused and left as it is.
TEST_F(DocTest, SaveAfterTheFileChangedNeverMixesOurTrailerWithTheirElements) {
    const std::string path = dir.file("mine.agl");
    makeAglFile(path, 4, 4);
    ASSERT_TRUE(doc->open(path));
    const std::string other = dir.file("theirs.agl");
    makeAglFile(other, 8, 8, AGL_UCHAR);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    sink.answers = {false}; // keep showing the old array
    doc->checkForChange();
    ASSERT_TRUE(doc->save(path));
    {
        aglSegment back;
        ASSERT_TRUE(back.open(path, true));
        EXPECT_EQ(back.typeCode(), AGL_FLOAT);
        EXPECT_EQ(back.elementCount(), 16);
        float v;
        std::memcpy(&v, static_cast<const uint8_t*>(back.elements()) + 4, 4);
        EXPECT_EQ(v, 1.5f);
        EXPECT_EQ(back.trailerSize(), 328u);
    }

    // Now mapped from the file just written; rewrite it in place.
    const std::string mapped = dir.file("mapped.agl");
    makeAglFile(mapped, 4, 4);
    ASSERT_TRUE(doc->open(mapped));
    makeAglFile(mapped, 8, 8, AGL_UCHAR); // same inode, same size, other bytes
    const std::string theirs = readAll(mapped);
    sink.answers = {false};
    doc->checkForChange();
    sink.shown.clear();
    EXPECT_FALSE(doc->save(mapped));
    EXPECT_EQ(readAll(mapped), theirs);
    EXPECT_TRUE(shownContains(mapped + "\n\nCouldn't save file."));
}

TEST_F(DocTest, PipesFoldersAndVanishedFilesAreRefusedWithoutHanging) {
    const std::string good = dir.file("good.agl");
    makeAglFile(good, 2, 3);
    ASSERT_TRUE(doc->open(good));

    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder.agl");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const std::string& path : {fifo, folder}) {
        SCOPED_TRACE(path);
        sink.shown.clear();
        EXPECT_FALSE(doc->open(path));
        ASSERT_EQ(sink.shown.size(), 2u);
        EXPECT_EQ(sink.shown[0].text, path == fifo ? "not a regular file" : "a folder, not a file");
        EXPECT_EQ(sink.shown[1].text, "Unable to read file: " + path);
        EXPECT_EQ(doc->path(), good);
    }

    // The watched file goes away: nothing to reload, nothing asked; the
    // mapping keeps the array readable.
    ASSERT_EQ(::unlink(good.c_str()), 0);
    doc->checkForChange();
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_EQ(doc->currentArray()->value(2, 1), 5.5);
    // It comes back rewritten: one question, and the reload shows it.
    makeAglFile(good, 3, 3);
    sink.answers = {true};
    doc->checkForChange();
    EXPECT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(doc->currentArray()->elementCount(), 9);
}

// "BM" is a bitmap's signature and also how a text file may begin ("BM
// readings"): what fails the bitmap checks is read as text.
TEST_F(DocTest, TextBeginningWithBMIsReadAsText) {
    const std::string path = dir.write("bm.txt", "BM readings\r1 2 3\r4 5 6\r");
    ASSERT_TRUE(doc->open(path)) << doc->lastError();
    EXPECT_TRUE(sink.shown.empty());
    ASSERT_EQ(doc->currentArray()->elementCount(), 6);
    EXPECT_EQ(doc->currentArray()->value(2, 1), 6.0);
}

// Saving as text onto the binary file the array is mapped from: the text is
// made from the mapping, so the file must not be emptied before it is read.
TEST_F(DocTest, SavingAsTextOntoTheMappedFileKeepsTheValues) {
    const std::string path = dir.file("binary.txt");
    makeAglFile(path, 2, 3);
    ASSERT_TRUE(doc->open(path));
    ASSERT_TRUE(doc->save(path));
    const std::string text = readAll(path);
    EXPECT_EQ(text.substr(0, 20), "#agl ascii data V1.0");
    EXPECT_NE(text.find("5.5"), std::string::npos) << text;
    EXPECT_EQ(text.find("\t0\t"), std::string::npos) << text;
    EXPECT_EQ(doc->currentArray()->value(2, 1), 5.5);
}

// A 24-bit bitmap is a format the viewer does not show (only 1 to 8 bits
// per pixel are palette indices): it is refused with the reason. It once
// went to the text reader, which found the "6" of its pixel offset (54) and
// showed a one-element array holding 6, with no message.
TEST_F(DocTest, TwentyFourBitBitmapIsRefusedWithTheReasonNotShownAsOneElement) {
    const std::string good = dir.file("good.agl");
    makeAglFile(good, 2, 3);
    ASSERT_TRUE(doc->open(good));
    sink.shown.clear();
    const std::string path = std::string(TAVRIX_SOURCE_DIR) + "/tests/data/bmp/magick_24bit.bmp";
    EXPECT_FALSE(doc->open(path));
    ASSERT_EQ(sink.shown.size(), 2u);
    EXPECT_EQ(sink.shown[0].text, "only 1, 2, 4 and 8 bits per pixel are supported");
    EXPECT_EQ(sink.shown[1].text, "Unable to read file: " + path);
    EXPECT_EQ(doc->path(), good);
    EXPECT_EQ(doc->currentArray()->elementCount(), 6);
    EXPECT_EQ(ctl().str(DISPID_FileName), good);
}

// NumPy's default integer: a double copy, shown with a note in the status
// bar's message pane that says so and counts the values beyond 2^53 that
// lost precision; the .npy itself is never saved over.
TEST_F(DocTest, Int64NumpyFileOpensAsADoubleCopyWithANoteInTheStatusBar) {
    std::vector<std::pair<int, std::string>> status;
    QObject::connect(doc.get(), &CArrayDoc::statusTextChanged, [&](int pane, const QString& text) {
        status.emplace_back(pane, text.toStdString());
    });
    const std::string npy = dir.file("big.npy");
    ASSERT_EQ(
        std::system(
            ("cp " + std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/big_i8.npy " + npy).c_str()),
        0);
    ASSERT_TRUE(doc->open(npy)) << doc->lastError();
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(doc->fileKind(), CArrayDoc::KindNumpy);
    const aglArray& a = *doc->currentArray();
    EXPECT_EQ(a.typeCode(), AGL_DOUBLE);
    EXPECT_EQ(a.value(3, 0), 4611686018427387904.0);
    EXPECT_EQ(ctl().str(DISPID_FileName), a.segment()->name());
    const std::string note = "a double copy of int64 data; 3 values beyond 2^53 lost precision";
    EXPECT_EQ(doc->statusNote(), note);
    EXPECT_NE(std::find(status.begin(), status.end(), std::make_pair(0, note)), status.end());

    const std::string before = readAll(npy);
    sink.shown.clear();
    EXPECT_FALSE(doc->save(npy));
    EXPECT_EQ(readAll(npy), before);
    EXPECT_TRUE(shownContains("Error saving file: " + npy));
    ASSERT_TRUE(doc->save(dir.file("copy.agl")));
    aglArray back;
    ASSERT_TRUE(back.open(dir.file("copy.agl"), true));
    EXPECT_EQ(back.typeCode(), AGL_DOUBLE);

    // A file that needs no copy clears the note.
    status.clear();
    ASSERT_TRUE(doc->open(std::string(TAVRIX_SOURCE_DIR) + "/tests/data/npy/ok_i4.npy"));
    EXPECT_TRUE(doc->statusNote().empty());
    EXPECT_NE(std::find(status.begin(), status.end(), std::make_pair(0, std::string())),
              status.end());
}
