// Test doubles for the document's seams: a graph control that keeps its
// properties in a table and records every call, a message sink that answers
// questions from a script and records what was shown, and the two views.
#pragma once

#include "CArrayDoc.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Points the user's configuration folder at a private one before anything
// can read settings, so no test ever touches the real user's.
class PrivateConfigHome {
public:
    PrivateConfigHome() {
        setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    }
    std::string path() const { return m_dir.path(); }

private:
    TempDir m_dir;
};

// A control as the graph view leaves it after creating it (defaults of a
// new control, GraphType 0, no palette bar); properties are stored as
// written, methods are recorded.
class RecordingControl : public plotrane::ControlDispatch {
public:
    struct Call {
        int dispid;
        std::vector<plotrane::Variant> args;
    };

    RecordingControl() {
        using namespace plotrane;
        props = {{DISPID_GraphStyle, Variant(int16_t(1))},
                 {DISPID_GraphType, Variant(int16_t(0))},
                 {DISPID_CamViewType, Variant(int16_t(0))},
                 {DISPID_Shading, Variant(int16_t(1))},
                 {DISPID_ZScale, Variant(0.8f)},
                 {DISPID_CamElevation, Variant(26.0f)},
                 {DISPID_CamAzimuth, Variant(-108.5f)},
                 {DISPID_CamDistance, Variant(3.0f)},
                 {DISPID_XComp, Variant(0)},
                 {DISPID_YComp, Variant(1)},
                 {DISPID_ZComp, Variant(2)},
                 {DISPID_WComp, Variant(3)},
                 {DISPID_PaletteId, Variant(int16_t(4))},
                 {DISPID_ShowCursor, Variant(true)},
                 {DISPID_ShowPalette, Variant(false)},
                 {DISPID_GraphColor, Variant(uint32_t(0xFF0000))},
                 {DISPID_AxisColor, Variant(uint32_t(0x999999))},
                 {DISPID_GridColor, Variant(uint32_t(0x333333))},
                 {DISPID_CursorColor, Variant(uint32_t(0x0000CC))},
                 {DISPID_BackColor, Variant(uint32_t(0xFFFFFF))},
                 {DISPID_PaletteMinVal, Variant(-1.0)},
                 {DISPID_PaletteMaxVal, Variant(1.0)}};
    }

    plotrane::Variant GetProperty(int dispid) override {
        if (window) {
            // The control's window follows the array it is bound to.
            const aglArray* a = window();
            if (dispid == plotrane::DISPID_NumRows) return plotrane::Variant(int(a->rowCount()));
            if (dispid == plotrane::DISPID_NumColumns) return plotrane::Variant(int(a->colCount()));
        }
        if (dispid == plotrane::DISPID_NumRows) return plotrane::Variant(numRows);
        if (dispid == plotrane::DISPID_NumColumns) return plotrane::Variant(numColumns);
        auto it = props.find(dispid);
        return it == props.end() ? plotrane::Variant(0) : it->second;
    }
    plotrane::DispatchStatus SetProperty(int dispid, const plotrane::Variant& v) override {
        sets.push_back({dispid, {v}});
        props[dispid] = v;
        return {};
    }
    plotrane::Variant Invoke(int dispid, const std::vector<plotrane::Variant>& args) override {
        calls.push_back({dispid, args});
        if (dispid == plotrane::DISPID_SetAxisScale) return plotrane::Variant(true);
        return {};
    }

    int count(int dispid) const {
        int n = 0;
        for (const Call& c : calls)
            n += c.dispid == dispid;
        return n;
    }
    int countSets(int dispid) const {
        int n = 0;
        for (const Call& c : sets)
            n += c.dispid == dispid;
        return n;
    }
    std::string str(int dispid) { return GetProperty(dispid).toString(); }
    int num(int dispid) { return GetProperty(dispid).toInt(); }
    void clearLog() {
        calls.clear();
        sets.clear();
    }

    std::map<int, plotrane::Variant> props;
    std::vector<Call> calls;
    std::vector<Call> sets;
    int numRows = 10;
    int numColumns = 10;
    std::function<const aglArray*()> window;
};

class RecordingSink : public MessageSink {
public:
    struct Shown {
        std::string text;
        MessageIcon icon;
    };
    // While captured (as for a call from another program) nothing is shown:
    // the texts go where the capture says, as the viewer's own sink does.
    void message(const std::string& text, MessageIcon icon) override {
        if (capture) {
            capture->push_back(text);
            return;
        }
        shown.push_back({text, icon});
    }
    bool question(const std::string& text) override {
        if (capture) {
            capture->push_back(text);
            return false;
        }
        questions.push_back(text);
        if (onQuestion) onQuestion();
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> saveFileName(const SaveFileRequest& r) override {
        saveRequests.push_back(r);
        return saveAnswer;
    }
    void showAnnotation(const std::string& text) override { annotations.push_back(text); }
    void captureInto(std::vector<std::string>* into) override { capture = into; }
    // The wait for the HDF helper: onWait, when set, runs the work as the
    // test wants (on a thread of its own, cancelling it).
    void waitForHelper(const std::string& what, const std::function<void()>& work,
                       std::atomic<bool>& cancel) override {
        waits.push_back(what);
        if (onWait)
            onWait(work, cancel);
        else
            work();
    }
    std::vector<std::string>* capture = nullptr;
    std::vector<std::string> waits;
    std::function<void(const std::function<void()>& work, std::atomic<bool>& cancel)> onWait;

    std::vector<Shown> shown;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::vector<SaveFileRequest> saveRequests;
    std::optional<std::string> saveAnswer;
    std::vector<std::string> annotations;
    std::function<void()> onQuestion; // runs while the question is "open"
};

class FakeGraphView : public ControlHostView {
public:
    bool isGraphPane() const override { return true; }
    CPlotrane2D* control() override { return &wrapper; }
    RecordingControl dispatch;
    CPlotrane2D wrapper{&dispatch};
};

class FakeGridView : public GridHostView {
public:
    int precision() const override { return prec; }
    bool useExponent() const override { return exp; }
    void setNumberFormat(int p, bool e) override {
        prec = p;
        exp = e;
    }
    void selectCell(int r, int c) override {
        row = r;
        col = c;
    }
    void reload() override { ++reloads; }
    void redraw() override { ++redraws; }
    void clear() override { ++clears; }
    void selectionRange(int64_t& r0, int64_t& c0, int64_t& r1, int64_t& c1) const override {
        r0 = selection[0];
        c0 = selection[1];
        r1 = selection[2];
        c1 = selection[3];
    }
    // Current cell first, the other corner last (array indices).
    void select(int64_t r0, int64_t c0, int64_t r1, int64_t c1) { selection = {r0, c0, r1, c1}; }
    int prec = 6;
    bool exp = false;
    int row = -1, col = -1, reloads = 0, redraws = 0, clears = 0;
    std::array<int64_t, 4> selection{-1, -1, -1, -1};
};

// A C float array file of rows x cols, element i = i + 0.5.
inline void makeAglFile(const std::string& path, int32_t rows, int32_t cols, int type = AGL_FLOAT) {
    aglSegment seg;
    const int32_t ext[2] = {rows, cols};
    ASSERT_TRUE(seg.create(path.c_str(), 2, ext, type, AGL_LANG_C, true)) << path;
    for (int64_t i = 0; i < seg.elementCount(); ++i) {
        if (type == AGL_FLOAT) {
            const float v = float(i) + 0.5f;
            std::memcpy(static_cast<uint8_t*>(seg.elements()) + i * 4, &v, 4);
        } else {
            static_cast<uint8_t*>(seg.elements())[i * seg.elementSize()] = uint8_t(i);
        }
    }
}

inline std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Moves a file's modification time forward by seconds (a rewrite that
// keeps the size, seen by a clock coarser than the test).
inline void bumpTime(const std::string& path, int seconds) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    struct timespec t[2] = {st.st_atim, st.st_mtim};
    t[1].tv_sec += seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

// One document with a grid view and a graph view over a recording control,
// settings in a private file.
class DocTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc = std::make_unique<CArrayDoc>(store, sink);
        doc->addView(&grid);
        doc->addView(&graph);
        QObject::connect(doc.get(), &CArrayDoc::titleChanged,
                         [this](const QString& t) { titles.push_back(t.toStdString()); });
    }
    RecordingControl& ctl() { return graph.dispatch; }
    bool shownContains(const std::string& text) const {
        for (const auto& m : sink.shown)
            if (m.text == text) return true;
        return false;
    }

    TempDir dir;
    SettingsStore store{QString::fromStdString(dir.file("settings.ini"))};
    RecordingSink sink;
    FakeGraphView graph;
    FakeGridView grid;
    std::unique_ptr<CArrayDoc> doc;
    std::vector<std::string> titles;
};
