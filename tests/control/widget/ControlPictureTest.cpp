// The control's pictures: CreateMetaFile's sizes, the MetafileUpdate events
// and the `MetaFile` name of a finished SVG, a picture reused while nothing
// changed, a failure reported once, the clipboard copy made on the control's
// thread, and captures taken while the graph type keeps changing.
#include "CPlotrane2DCtrl.h"
#include "ControlModel.h"
#include "QtTestApp.h"
#include "WaitFor.h"
#include "plotrane/PropertyTable.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

using namespace plotrane;

namespace {

const std::string kWave = TAVRIX_SOURCE_DIR "/examples/wave.agl"; // float [48][64]

class ControlPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ctrl = std::make_unique<CPlotrane2DCtrl>(nullptr, 0, 0);
        ctrl->resize(320, 240);
        ctrl->model().setPictureFolder(folder.path());
        ASSERT_TRUE(ctrl->SetProperty(DISPID_FileName, Variant(kWave)).ok());
        // Up to the finest level the rules allow, so that the picture stays
        // the same while a test runs (a new level is a new picture).
        int level = -2, same = 0;
        for (int k = 0; k < 100 && same < 3; ++k) {
            ASSERT_TRUE(ctrl->model().waitForPasses(300000));
            ctrl->tick();
            const int now = ctrl->GetProperty(DISPID_DataOffset).toInt();
            same = now == level ? same + 1 : 0;
            level = now;
        }
    }
    // The statuses the spy saw, in order.
    static std::vector<int> statuses(const QSignalSpy& spy) {
        std::vector<int> out;
        for (const QList<QVariant>& e : spy)
            out.push_back(e.at(0).toInt());
        return out;
    }
    bool finished() const {
        const int s = ctrl->model().metaFileStatus();
        return s == value(MetaFileStatus::Complete) || s == value(MetaFileStatus::Failed);
    }
    QStringList pictures() const { return QDir(folder.path()).entryList({"emf*"}, QDir::Files); }

    QTemporaryDir folder;
    std::unique_ptr<CPlotrane2DCtrl> ctrl;
};

struct SizeCase {
    int width, height;
    int messageId; // 0: accepted
};
// ctest shows the case by what it holds.
void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.width << "x" << c.height;
}
class CreateMetaFileSizeTest : public ControlPictureTest,
                               public ::testing::WithParamInterface<SizeCase> {};

TEST_P(CreateMetaFileSizeTest, SizesAreZeroByZeroOrOneToAMillionEach) {
    bool accepted = false;
    const DispatchStatus st =
        ctrl->model().createMetaFile(GetParam().width, GetParam().height, false, &accepted);
    if (GetParam().messageId == 0) {
        EXPECT_TRUE(st.ok()) << st.message;
        EXPECT_TRUE(accepted);
    } else {
        EXPECT_EQ(st.code, kInvalidPropertyValue);
        EXPECT_EQ(st.message, controlMessage(GetParam().messageId));
        EXPECT_FALSE(accepted);
        EXPECT_EQ(ctrl->model().metaFileStatus(), value(MetaFileStatus::NeverRequested));
    }
}

INSTANTIATE_TEST_SUITE_P(Control, CreateMetaFileSizeTest,
                         ::testing::Values(SizeCase{0, 0, 0}, SizeCase{1, 1, 0},
                                           SizeCase{1000000, 1000000, 0},
                                           SizeCase{0, 7500, kMsgMetaFileSize},
                                           SizeCase{-10000, 7500, kMsgMetaFileSize},
                                           SizeCase{10000, -1, kMsgMetaFileSize},
                                           SizeCase{1000001, 7500, kMsgMetaFileSize},
                                           SizeCase{2000000000, 2000000000, kMsgMetaFileSize}));

TEST_F(ControlPictureTest, AWindowWithoutPixelsTakesNoPicture) {
    ctrl->resize(0, 0);
    const DispatchStatus st = ctrl->model().createMetaFile(10000, 7500);
    EXPECT_EQ(st.code, kInvalidPropertyValue);
    EXPECT_EQ(st.message, controlMessage(kMsgEmptyWindow));
}

TEST_F(ControlPictureTest, APictureIsReportedUntilCompleteAndReusedWhileNothingChanges) {
    QSignalSpy spy(ctrl.get(), &CPlotrane2DCtrl::MetafileUpdate);
    EXPECT_EQ(ctrl->GetProperty(DISPID_MetaFileStatus).toInt(), 0);
    EXPECT_TRUE(ctrl->Invoke(DISPID_CreateMetaFile, {Variant(10000), Variant(7500)}).toBool());
    ASSERT_TRUE(waitFor([&] { return !spy.isEmpty() && spy.last().at(0).toInt() >= 5; }));
    const std::vector<int> seen = statuses(spy);
    EXPECT_EQ(seen.back(), 6);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << ::testing::PrintToString(seen);
    EXPECT_EQ(ctrl->GetProperty(DISPID_MetaFileStatus).toInt(), 6);
    const QString file = QString::fromStdString(ctrl->GetProperty(DISPID_MetaFile).toString());
    EXPECT_TRUE(file.endsWith(".svg"));
    EXPECT_TRUE(QFileInfo(file).fileName().startsWith("emf"));
    QSvgRenderer svg(file);
    ASSERT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBox(), QRect(0, 0, 1181, 885)); // 10 cm x 7.5 cm at 300 per inch

    // The same picture again: the same file, reported complete again.
    spy.clear();
    EXPECT_TRUE(ctrl->Invoke(DISPID_CreateMetaFile, {Variant(10000), Variant(7500)}).toBool());
    ASSERT_TRUE(waitFor([&] { return !spy.isEmpty(); }));
    EXPECT_EQ(statuses(spy), std::vector<int>{6});
    EXPECT_EQ(QString::fromStdString(ctrl->model().metaFile()), file);
    EXPECT_EQ(pictures().size(), 1);

    // Another graph style: a new picture.
    spy.clear();
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphStyle, Variant(int16_t(0))).ok());
    EXPECT_TRUE(ctrl->Invoke(DISPID_CreateMetaFile, {Variant(10000), Variant(7500)}).toBool());
    ASSERT_TRUE(waitFor([&] { return !spy.isEmpty() && spy.last().at(0).toInt() >= 5; }));
    EXPECT_EQ(spy.last().at(0).toInt(), 6);
    EXPECT_NE(QString::fromStdString(ctrl->model().metaFile()), file);
    EXPECT_EQ(pictures().size(), 2);
}

TEST_F(ControlPictureTest, AFailedPictureIsReportedOnceAndLeavesNoName) {
    QSignalSpy spy(ctrl.get(), &CPlotrane2DCtrl::MetafileUpdate);
    ctrl->model().setPictureFolder(folder.path() + "/no/such/folder");
    ASSERT_TRUE(ctrl->model().createMetaFile(10000, 7500).ok());
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    // Later ticks and events bring no second report.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) {
        ctrl->tick();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const std::vector<int> seen = statuses(spy);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 5), 1) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen.back(), 5);
    EXPECT_EQ(ctrl->model().metaFile(), "");
    // The writer is free for the next picture.
    ctrl->model().setPictureFolder(folder.path());
    ASSERT_TRUE(ctrl->model().createMetaFile(10000, 7500).ok());
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(ctrl->model().metaFileStatus(), 6);
}

TEST_F(ControlPictureTest, ZeroByZeroPutsTheFrameOnTheClipboard) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_NE(clipboard, nullptr);
    clipboard->clear();
    ASSERT_TRUE(ctrl->Invoke(DISPID_CreateMetaFile, {Variant(0), Variant(0)}).toBool());
    ASSERT_TRUE(waitFor([&] { return !clipboard->image().isNull(); }));
    const QImage picture = clipboard->image();
    EXPECT_EQ(picture.size(), ctrl->currentFrame().size());
    // The plot is in it: more than a few pixels that are not the white background.
    int ink = 0;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = 0; x < picture.width(); x += 2)
            if ((picture.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++ink;
    EXPECT_GT(ink, 1000);
    EXPECT_EQ(ctrl->model().metaFileStatus(), value(MetaFileStatus::NeverRequested));
}

TEST_F(ControlPictureTest, CapturesWhileTheGraphTypeKeepsChanging) {
    // The render thread draws capture frames, the writer thread writes, and
    // this thread swaps the graph objects under them.
    for (int k = 0; k < 12; ++k) {
        ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(1 + k % 3))).ok());
        ctrl->model().createMetaFile(5000 + 100 * k, 4000);
        ctrl->tick();
        for (int n = 0; n < 5; ++n)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    // Once the last one is out, a picture of the height plot is taken whole.
    ASSERT_TRUE(ctrl->SetProperty(DISPID_GraphType, Variant(int16_t(1))).ok());
    bool accepted = false;
    ASSERT_TRUE(waitFor([&] {
        EXPECT_TRUE(ctrl->model().createMetaFile(7000, 5000, false, &accepted).ok());
        return accepted;
    }));
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_EQ(ctrl->model().metaFileStatus(), 6);
    EXPECT_TRUE(QSvgRenderer(QString::fromStdString(ctrl->model().metaFile())).isValid());
}

} // namespace
