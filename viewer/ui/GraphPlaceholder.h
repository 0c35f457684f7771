// GraphPlaceholder: the lower pane of the main frame until the graph view
// exists. It stands where the graph view will stand for the document: a view
// named "CGraphView" whose control accepts every property and method and
// ignores it, and whose 2-second timer asks the document to check its file
// for changes while the application is active. It draws nothing.
// User-interface thread only.
#pragma once

#include "CPlotrane2D.h"
#include "DocView.h"

#include <QFrame>
#include <QTimer>

class CArrayDoc;

// A control that takes every call and does nothing.
class IgnoringControl : public plotrane::ControlDispatch {
public:
    plotrane::Variant GetProperty(int) override { return {}; }
    plotrane::DispatchStatus SetProperty(int, const plotrane::Variant&) override { return {}; }
    plotrane::Variant Invoke(int, const std::vector<plotrane::Variant>&) override { return {}; }
};

class GraphPlaceholder : public QFrame, public ControlHostView {
    Q_OBJECT
public:
    GraphPlaceholder(CArrayDoc* document, QWidget* parent = nullptr);
    ~GraphPlaceholder() override;

    std::string runtimeClassName() const override { return kGraphViewClass; }
    CPlotrane2D* control() override { return &m_wrapper; }

private:
    CArrayDoc* m_document;
    IgnoringControl m_control;
    CPlotrane2D m_wrapper{&m_control};
    QTimer m_watch;
};
