// The viewer's settings dialogs: the graph dialog of each graph kind (height
// plot, plane view, image map, vector plot), the z scale, the palette range,
// the axis ranges, the region of interest, the annotation and the options.
//
// A graph dialog reads its values from the graph view's control when it
// opens and keeps two copies: the values shown and the values last applied.
// Apply (and OK) writes only what differs between the two (for numbers, by
// 0.00001 or more), tells the document that the graph changed, and makes the
// shown values the applied ones. Cancel leaves what an earlier Apply did,
// except where a dialog says otherwise. Text that is not a number, and
// ranges whose ends cross, are refused with a message before anything is
// written; the dialog stays open. Without an array (and so without a
// control to show it) a dialog applies nothing.
//
// Widgets carry the object names "control<id>" with the ids of the dialog
// templates; Apply is "control1007". User-interface thread only.
#pragma once

#include <QDialog>

#include <array>
#include <string>

class CArrayDoc;
class CGraphView;
class CPlotrane2D;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSlider;
class QSpinBox;
class QVBoxLayout;
class RangeEdit;

// The message for text that is not a number.
inline constexpr const char* kNotANumber = "Please enter a number.";
// The message for a range whose minimum exceeds its maximum.
inline constexpr const char* kRangeCrossed = "The minimum must not be greater than the maximum.";

class GraphDialog : public QDialog {
    Q_OBJECT
public:
    // The control to work on now: the graph view's, while the document
    // holds an array; else nullptr.
    CPlotrane2D* control() const;
    CArrayDoc* document() const { return m_document; }
    // Takes the shown values and applies what changed; false (with a
    // message, nothing written) when a value is refused.
    bool apply();
    void accept() override;

protected:
    GraphDialog(CGraphView* view, const QString& title, QWidget* parent);
    // Puts OK, Cancel and (withApply) Apply under the dialog's content.
    void addButtons(QVBoxLayout* layout, bool withApply);
    // Reads and checks the widgets; false after showing why.
    virtual bool collect() = 0;
    // Writes what differs from the last applied values and makes the shown
    // ones applied. c is never null.
    virtual void applyChanges(CPlotrane2D& c) = 0;
    void refuse(const char* message);
    // GraphChanged: the document marks itself modified where it keeps its
    // settings in its file.
    void graphChanged(bool force = false);
    CGraphView* view() const { return m_view; }
    bool m_applied = false;

private:
    CGraphView* m_view;
    CArrayDoc* m_document;
};

// "Height Plot Settings".
class HeightPlotDialog : public GraphDialog {
    Q_OBJECT
public:
    HeightPlotDialog(CGraphView* view, QWidget* parent = nullptr);
    void reject() override;
    static constexpr int kDensityMin = 1, kDensityMax = 99;

protected:
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Values {
        int style = -1;
        bool showGrid = false, hiddenLine = false, showAxis = false, usePalette = false;
        bool smooth = false, clamp = false, highLight = false, depthcue = false;
        int shading = 1;
        int textureMode = 0;
        double density = 40.0;
    };
    void textureClicked();
    void densityMoved(int position);
    Values m_shown, m_last;
    QButtonGroup* m_style;
    QCheckBox *m_grid, *m_hidden, *m_flat, *m_texture, *m_axis, *m_palette, *m_smooth, *m_clamp,
        *m_highLight, *m_depthcue;
    QSlider* m_density;
};

// "Plane View Settings".
class PlaneViewDialog : public GraphDialog {
    Q_OBJECT
public:
    PlaneViewDialog(CGraphView* view, QWidget* parent = nullptr);

protected:
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Values {
        int style = -1;
        bool smooth = false, clamp = false, showAxis = false, usePalette = false;
    };
    Values m_shown, m_last;
    QButtonGroup* m_style;
    QCheckBox *m_smooth, *m_clamp, *m_axis, *m_palette;
};

// "Image Map Settings". The orientation buttons act at once.
class ImageMapDialog : public GraphDialog {
    Q_OBJECT
public:
    ImageMapDialog(CGraphView* view, QWidget* parent = nullptr);
    void reject() override;

protected:
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Values {
        bool fixedAspect = false, showAxis = false, filter = false, showGrid = false;
        bool squareCells = true;
        int orientation = 0;
        int rowDim = 0, colDim = 0;
    };
    void flip(int xorBits);
    void swapXY();
    void setDimensions(CPlotrane2D& c, int rowDim, int colDim);
    Values m_shown, m_last;
    QCheckBox *m_aspect, *m_squareCells, *m_axis, *m_filter, *m_grid;
};

// "Vector Plot Settings".
class VectorPlotDialog : public GraphDialog {
    Q_OBJECT
public:
    VectorPlotDialog(CGraphView* view, QWidget* parent = nullptr);

protected:
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Values {
        std::array<int, 4> comp{-1, -1, -1, -1}; // the control's numbers
        int style = -1;
        bool smooth = false, showAxis = false, depthcue = false;
    };
    Values m_shown, m_last;
    int m_offset = 0; // 1 for Fortran arrays
    std::array<QSpinBox*, 4> m_comp{};
    QButtonGroup* m_style;
    QCheckBox *m_smooth, *m_axis, *m_depthcue;
};

// "Z-Scale".
class ZScaleDialog : public GraphDialog {
    Q_OBJECT
public:
    ZScaleDialog(CGraphView* view, QWidget* parent = nullptr);
    void accept() override;
    void reject() override;

protected:
    bool collect() override { return true; }
    void applyChanges(CPlotrane2D& c) override;

private:
    double m_opening = 1.0, m_value = 1.0;
    QSlider* m_slider;
    QLabel* m_label;
};

// The palette range and both axis ranges: an auto-adjust box and one or
// more (minimum, maximum) pairs, written as pairs.
class RangeDialog : public GraphDialog {
    Q_OBJECT
public:
    void reject() override;
    RangeEdit* minEdit(int pair) const { return m_pairs[size_t(pair)].min; }
    RangeEdit* maxEdit(int pair) const { return m_pairs[size_t(pair)].max; }
    QCheckBox* autoBox() const { return m_auto; }

protected:
    enum Kind { Palette, AxisZ, AxisXYZ };
    RangeDialog(Kind kind, CGraphView* view, QWidget* parent);
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Pair {
        RangeEdit* min = nullptr;
        RangeEdit* max = nullptr;
        int axis = 0; // 0..2; the palette's pair has axis -1
        double lo = 0, hi = 0;
    };
    struct Values {
        bool autoAdjust = true;
        std::array<double, 6> ends{}; // lo, hi per pair
    };
    void autoToggled(bool on);
    Values read(CPlotrane2D& c) const;
    void write(CPlotrane2D& c, const Values& v, const Values& before);
    Kind m_kind;
    int m_count;
    std::array<Pair, 3> m_pairs;
    QCheckBox* m_auto;
    // The control's own values at opening and after the last Apply.
    Values m_opening, m_last, m_shown;
};

class PaletteRangeDialog : public RangeDialog {
    Q_OBJECT
public:
    PaletteRangeDialog(CGraphView* view, QWidget* parent = nullptr)
        : RangeDialog(Palette, view, parent) {}
};

// The z range for the height plot and plane view; x, y and z for the
// vector graph.
class AxisRangeDialog : public RangeDialog {
    Q_OBJECT
public:
    AxisRangeDialog(CGraphView* view, bool vector, QWidget* parent = nullptr)
        : RangeDialog(vector ? AxisXYZ : AxisZ, view, parent) {}
};

// "ROI Settings": per dimension of the array, whether it is the row or the
// column dimension, the first index and length of the region, and (for
// Fortran arrays) the lower bound. Only the row's and the column's lengths
// can be edited.
class RoiDialog : public GraphDialog {
    Q_OBJECT
public:
    static constexpr int kDims = 7;
    RoiDialog(CGraphView* view, QWidget* parent = nullptr);
    // Whether an Apply changed the region or the dimensions shown.
    bool regionChanged() const { return m_applied; }

protected:
    bool collect() override;
    void applyChanges(CPlotrane2D& c) override;

private:
    struct Values {
        int rowDim = 0, colDim = 0;
        std::array<int, kDims> start{}, length{}, lower{};
    };
    struct Line {
        QLabel* name = nullptr;
        QLabel* extent = nullptr;
        QRadioButton* row = nullptr;
        QRadioButton* col = nullptr;
        QSpinBox* start = nullptr;
        QSpinBox* length = nullptr;
        QSpinBox* lower = nullptr;
    };
    void chooseRow(int dim);
    void chooseCol(int dim);
    void showDims();
    void refreshRanges(int dim, int start, int length);
    Values m_shown, m_last;
    int m_rank = 0;
    bool m_fortran = false;
    std::array<int, kDims> m_extent{};
    std::array<Line, kDims> m_lines;
    bool m_updating = false;
};

// "Annotation": the agl file's annotation, editable while attributes are
// saved into agl files.
class AnnotationDialog : public QDialog {
    Q_OBJECT
public:
    AnnotationDialog(CArrayDoc* document, QWidget* parent = nullptr);
    // Another text in the same dialog, read-only: an HDF file's attribute or
    // annotation, or the annotation shown as a file opens.
    explicit AnnotationDialog(const QString& text, QWidget* parent = nullptr);
    void accept() override;
    QPlainTextEdit* editor() const { return m_edit; }

private:
    CArrayDoc* m_document;
    QPlainTextEdit* m_edit;
};

// "Options": the fill value and the file options, written to the settings
// store on OK; Save Current and Restore Original ask, then act at once.
class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(CArrayDoc* document, QWidget* parent = nullptr);
    void accept() override;

private:
    CArrayDoc* m_document;
    QLineEdit* m_fill;
    QCheckBox *m_save, *m_restore, *m_annot, *m_tree;
};

// Runs the dialog that a command opens, modally, over parent. Graph opens
// the dialog of the graph kind shown; nothing happens without a graph view.
namespace settings_dialogs {
void runGraph(CGraphView* view, QWidget* parent);
void runZScale(CGraphView* view, QWidget* parent);
void runAxisRange(CGraphView* view, QWidget* parent);
void runPaletteRange(CGraphView* view, QWidget* parent);
void runRegionOfInterest(CGraphView* view, QWidget* parent);
void runAnnotation(CArrayDoc* document, QWidget* parent);
void runOptions(CArrayDoc* document, QWidget* parent);
} // namespace settings_dialogs
