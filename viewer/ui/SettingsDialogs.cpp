#include "SettingsDialogs.h"

#include "SettingsDialogParts.h"

#include "CArrayDoc.h"
#include "CGraphView.h"
#include "CPlotrane2D.h"
#include "DocView.h"
#include "MessageSink.h"
#include "RangeEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>

using namespace plotrane;
using namespace settings_dialog_parts;

// ---------------------------------------------------------------------------

GraphDialog::GraphDialog(CGraphView* view, const QString& title, QWidget* parent)
    : QDialog(parent), m_view(view), m_document(view ? view->document() : nullptr) {
    setWindowTitle(title);
    setModal(true);
}

CPlotrane2D* GraphDialog::control() const {
    return m_document ? m_document->control() : nullptr;
}

void GraphDialog::addButtons(QVBoxLayout* layout, bool withApply) {
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                 (withApply ? QDialogButtonBox::Apply : QDialogButtonBox::NoButton),
                             this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GraphDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GraphDialog::reject);
    if (QPushButton* a = buttons->button(QDialogButtonBox::Apply)) {
        name(a, 1007);
        connect(a, &QPushButton::clicked, this, [this] { apply(); });
    }
    layout->addWidget(buttons);
}

bool GraphDialog::apply() {
    CPlotrane2D* c = control();
    if (!c) return true; // nothing to apply to
    if (!collect()) return false;
    applyChanges(*c);
    return true;
}

void GraphDialog::accept() {
    if (apply()) QDialog::accept();
}

void GraphDialog::refuse(const char* message) {
    if (m_document) m_document->messages().message(message, MessageIcon::Exclamation);
}

void GraphDialog::graphChanged(bool force) {
    if (m_document) m_document->settingsChanged(force);
}

// ---------------------------------------------------------------------------
// Annotation

AnnotationDialog::AnnotationDialog(CArrayDoc* document, QWidget* parent)
    : AnnotationDialog(QString::fromStdString(document->annotation()), parent) {
    m_document = document;
    m_edit->setReadOnly(!document->options().saveAglAttr);
}

AnnotationDialog::AnnotationDialog(const QString& shown, QWidget* parent)
    : QDialog(parent), m_document(nullptr) {
    setWindowTitle("Annotation");
    m_edit = new QPlainTextEdit(this);
    name(m_edit, 1194);
    QString text = shown;
    text.remove('\r');
    m_edit->setPlainText(text);
    m_edit->setReadOnly(true);
    m_edit->moveCursor(QTextCursor::End);
    m_edit->ensureCursorVisible();
    m_edit->setMinimumSize(m_edit->fontMetrics().averageCharWidth() * 50,
                           m_edit->fontMetrics().lineSpacing() * 10);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AnnotationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AnnotationDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit, 1);
    layout->addWidget(buttons);
}

void AnnotationDialog::accept() {
    if (m_document && !m_edit->isReadOnly()) {
        std::string text = m_edit->toPlainText().toStdString();
        std::erase(text, '\r');
        if (text != m_document->annotation()) {
            m_document->setAnnotation(text);
            m_document->settingsChanged(true);
        }
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------
// Options

OptionsDialog::OptionsDialog(CArrayDoc* document, QWidget* parent)
    : QDialog(parent), m_document(document) {
    setWindowTitle("Options");
    const SettingsStore::Options& o = document->options();
    m_fill = new QLineEdit(shortest(o.fillValue), this);
    name(m_fill, 1193);
    auto* fillLabel = new QLabel("&Fill Value:", this);
    fillLabel->setBuddy(m_fill);
    auto* fillRow = new QHBoxLayout;
    fillRow->addWidget(fillLabel);
    fillRow->addWidget(m_fill, 1);

    m_save = checkBox("&Save Attributes", 1184, o.saveAglAttr, this);
    m_restore = checkBox("&Restore Attributes", 1188, o.restoreAglAttr, this);
    m_annot = checkBox("Show A&nnotation", 1189, o.showAglAnnot, this);
    m_tree = checkBox("Show &HDF Tree", 1186, o.showHdfTree, this);
    auto* agl = new QVBoxLayout;
    for (QCheckBox* b : {m_save, m_restore, m_annot})
        agl->addWidget(b);
    auto* hdf = new QVBoxLayout;
    hdf->addWidget(m_tree);
    hdf->addStretch();

    auto* saveCurrent = new QPushButton("Sa&ve Current", this);
    auto* restoreOriginal = new QPushButton("Res&tore Original", this);
    name(saveCurrent, 1179);
    name(restoreOriginal, 1191);
    for (QPushButton* b : {saveCurrent, restoreOriginal})
        b->setAutoDefault(false);
    connect(saveCurrent, &QPushButton::clicked, this,
            [this] { m_document->askSaveGraphDefaults(); });
    connect(restoreOriginal, &QPushButton::clicked, this,
            [this] { m_document->askRestoreFactoryDefaults(); });
    auto* graphDefaults = new QHBoxLayout;
    graphDefaults->addWidget(saveCurrent);
    graphDefaults->addWidget(restoreOriginal);
    graphDefaults->addStretch();

    auto* files = new QHBoxLayout;
    files->addWidget(group("AGL Files", agl, this), 1);
    files->addWidget(group("HDF Files", hdf, this), 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fillRow);
    layout->addLayout(files);
    layout->addWidget(group("Graph Settings", graphDefaults, this));
    layout->addWidget(buttons);
}

void OptionsDialog::accept() {
    bool ok = false;
    const double fill = QLocale::c().toDouble(m_fill->text().trimmed(), &ok);
    if (!ok || !std::isfinite(fill)) {
        m_document->messages().message(kNotANumber, MessageIcon::Exclamation);
        m_fill->setFocus();
        m_fill->selectAll();
        return;
    }
    SettingsStore::Options o = m_document->options();
    o.fillValue = fill;
    o.saveAglAttr = m_save->isChecked();
    o.restoreAglAttr = m_restore->isChecked();
    o.showAglAnnot = m_annot->isChecked();
    o.showHdfTree = m_tree->isChecked();
    m_document->setOptions(o);
    QDialog::accept();
}

// ---------------------------------------------------------------------------

namespace settings_dialogs {

namespace {
bool usable(CGraphView* view) {
    return view && view->document()->control();
}
} // namespace

void runGraph(CGraphView* view, QWidget* parent) {
    if (!usable(view)) return;
    switch (view->document()->currentGraphType()) {
    case CArrayDoc::HeightPlot:
        HeightPlotDialog(view, parent).exec();
        break;
    case CArrayDoc::ImageMap:
        ImageMapDialog(view, parent).exec();
        break;
    case CArrayDoc::VectorGraph:
        VectorPlotDialog(view, parent).exec();
        break;
    case CArrayDoc::PlaneView:
        PlaneViewDialog(view, parent).exec();
        break;
    default:
        break;
    }
}

void runZScale(CGraphView* view, QWidget* parent) {
    if (usable(view)) ZScaleDialog(view, parent).exec();
}

void runAxisRange(CGraphView* view, QWidget* parent) {
    if (!usable(view)) return;
    const int kind = view->document()->currentGraphType();
    if (kind == CArrayDoc::NoGraph || kind == CArrayDoc::ImageMap) return;
    AxisRangeDialog(view, kind == CArrayDoc::VectorGraph, parent).exec();
}

void runPaletteRange(CGraphView* view, QWidget* parent) {
    if (usable(view)) PaletteRangeDialog(view, parent).exec();
}

void runRegionOfInterest(CGraphView* view, QWidget* parent) {
    if (!usable(view) || !view->document()->currentArray()) return;
    RoiDialog dialog(view, parent);
    dialog.exec();
    // The zoom history follows a region chosen by hand.
    if (dialog.regionChanged()) view->document()->adoptZoomRegion();
}

void runAnnotation(CArrayDoc* document, QWidget* parent) {
    if (document && document->hasData()) AnnotationDialog(document, parent).exec();
}

void runOptions(CArrayDoc* document, QWidget* parent) {
    if (document) OptionsDialog(document, parent).exec();
}

} // namespace settings_dialogs
