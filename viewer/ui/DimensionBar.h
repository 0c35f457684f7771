// DimensionBar: the strip under the spreadsheet and the graph that walks
// through the dimensions of an array beyond the plane shown.
//
// For an array of three or more dimensions the bar has one line for every
// dimension that is neither the row nor the column dimension: its name (an
// HDF dimension scale's name, else "Dimension N", numbered from 1 in stored
// order as Settings > ROI numbers them), a play button, a slider and a spin
// box over the dimension's indices (written with its lower bound, so a
// Fortran array's -3..3 reads -3..3), and the coordinate from the
// dimension's axis scale when it has one. The lines are the region of
// interest itself: moving one moves that dimension's region to the chosen
// index exactly as a new Start in Settings > ROI does (through
// CArrayDoc::applyRegion: graph, spreadsheet, status bar and marker follow),
// and whatever else moves the region (the dialog, an automation client's
// SetRoi, a new row or column dimension) moves the lines. For arrays of
// fewer than three dimensions the bar is hidden.
//
// Play steps one dimension through its indices at 1 to 60 frames a second,
// looping or bouncing, with the camera left where it is. The next step waits
// for the graph's picture of the last one, so every plane played reaches the
// screen even where pictures take longer than a step (only then does a slow
// machine play slower than asked), and a step is made as a picture comes out
// (its RndrPass), before the control starts drawing another, so that it never
// waits for a frame being drawn. While playing (and while steps by hand
// follow each other) the graph stays at a coarse level of detail: its
// resolution (sampling step) is fixed at the coarsest level's, the control's
// ResolutionAutoAdjust off, so that frames stay short and a step never waits
// long for one being drawn; when play stops, or the steps by hand rest, the
// control picks its levels again. (The control's own arrow keys work so:
// finer levels wait for a rest.) While playing, the palette (and the height
// plot's z axis) is either held at the range of the whole array, found once
// by a worker thread (ArrayRangeScan; for a data set read plane by plane,
// by the HDF helper reading all its planes) and kept for the array (for
// every plane of such a data set), or left to
// follow each plane. A held range stays when play stops, so the plane stopped
// at keeps its colours; choosing each plane hands the range back to the
// planes (auto adjust on).
//
// User-interface thread only.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <string>
#include <vector>

class ArrayRangeScan;
class CArrayDoc;
class CHdfSds;
class CPlotrane2DView;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;
class QToolButton;

class DimensionBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDims = 7;
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 60;
    static constexpr int kDefaultRate = 10;
    // The longest a step waits for the picture of the one before.
    static constexpr int kFrameWaitMs = 1000;
    // A step that is due while pictures are still coming (the control drawing
    // its finer levels) waits for the next one, at most this long after the
    // last: a step never lands on a frame being drawn.
    static constexpr int kQuietMs = 40;
    // Steps by hand (a slider dragged, Page Down held) keep the coarse
    // resolution too, until they rest this long.
    static constexpr int kRestMs = 250;
    enum PlayMode { Loop = 0, Bounce = 1 };
    enum RangeMode { WholeArray = 0, EachPlane = 1 };

    // The document and the graph view outlive the bar.
    DimensionBar(CArrayDoc* document, CPlotrane2DView* graph, QWidget* parent = nullptr);
    ~DimensionBar() override;

    // Reads the array again: which dimensions the bar offers, their ranges,
    // the index of each (its region's first index) and its coordinate; shows
    // the bar for arrays of three or more dimensions. Runs by itself after
    // every change of the document's array or region.
    void sync();
    // The dimensions on the bar, in stored order.
    const std::vector<int>& dimensions() const { return m_dims; }
    // Shows the plane at 0-based index of dimension dim (clamped to the
    // dimension). False when nothing changed or dim is not on the bar.
    bool showIndex(int dim, int index);
    // Page Down (+1) and Page Up (-1): the first dimension on the bar one
    // index on or back, stopping at the ends. False when there is none.
    bool stepFirst(int step);

    // Plays dimension dim (stopping any other); stop ends it.
    void play(int dim);
    void stop();
    bool isPlaying() const { return m_playDim >= 0; }
    int playingDimension() const { return m_playDim; }
    // Steps made since play last started.
    int stepsPlayed() const { return m_steps; }
    // Steps made without the picture of the step before, which did not come
    // within the wait (a machine too busy to draw it in time).
    int picturesMissed() const { return m_missed; }
    int rate() const;
    void setRate(int framesPerSecond);
    PlayMode playMode() const;
    void setPlayMode(PlayMode mode);
    RangeMode rangeMode() const;
    void setRangeMode(RangeMode mode);
    // The palette is held at the whole array's range now.
    bool isRangeHeld() const { return m_held; }
    // The whole array's range is being found.
    bool isScanningRange() const;
    // The resolution the graph is held at while playing or stepping by hand
    // (0 when not held: at rest, or the user fixed the resolution).
    int playResolution() const { return m_playResolution; }

    // The widgets of a dimension's line (nullptr outside 0..6).
    QSlider* slider(int dim) const;
    QSpinBox* spinBox(int dim) const;
    QToolButton* playButton(int dim) const;
    QLabel* nameLabel(int dim) const;
    QLabel* coordinateLabel(int dim) const;

signals:
    // A step of play was applied: dimension dim now shows 0-based index.
    void stepped(int dim, int index);
    // The dimensions on the bar changed (the bar may have come or gone).
    void dimensionsChanged();

private:
    struct Line {
        QLabel* name = nullptr;
        QToolButton* play = nullptr;
        QSlider* slider = nullptr;
        QSpinBox* spin = nullptr;
        QLabel* coordinate = nullptr;
    };
    void scheduleSync();
    void userMoved(int dim, int shownIndex);
    bool stepByHand(int dim, int index);
    void showCoordinate(int dim, int index);
    // The play timer: the next step when it is due and the last one's
    // picture is out.
    void tick();
    void step();
    qint64 stepMs() const;
    void advance();
    void frameShown();
    void holdResolution();
    void releaseResolution();
    void arrayReplaced();
    const CHdfSds* planeDataSet() const;
    // What the palette's range is kept for: the array's segment, or the
    // data set read plane by plane.
    std::string rangeKey() const;
    void holdRange();
    void applyHeldRange();
    void releaseRange();
    void rangeFound(const QString& segmentName, bool found, double minimum, double maximum);
    void showPlaying();

    CArrayDoc* m_document;
    std::array<Line, kDims> m_lines;
    std::vector<int> m_dims;
    QWidget* m_options = nullptr;
    int m_optionsRow = 0;
    QSpinBox* m_rate = nullptr;
    QComboBox* m_mode = nullptr;
    QComboBox* m_range = nullptr;
    QTimer m_syncTimer;
    bool m_syncing = false;

    QTimer m_playTimer;
    QTimer m_restTimer;
    int m_playDim = -1;
    int m_direction = 1;
    int m_steps = 0;
    int m_missed = 0;
    // The picture of the last step has not come yet.
    bool m_waitingForFrame = false;
    QElapsedTimer m_sinceStep;
    // Since the last picture; a due step waits for the next one.
    QElapsedTimer m_sinceFrame;
    bool m_stepOnFrame = false;
    // Since play started, and when (on that clock) the next step is due.
    QElapsedTimer m_playClock;
    qint64 m_nextStepMs = 0;
    int m_playResolution = 0;

    ArrayRangeScan* m_scan = nullptr;
    bool m_rangeKnown = false;
    std::string m_rangeSegment;
    double m_rangeMin = 0.0, m_rangeMax = 0.0;
    bool m_held = false;
};
