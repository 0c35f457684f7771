#include "GraphPlaceholder.h"

#include "CArrayDoc.h"

#include <QApplication>

GraphPlaceholder::GraphPlaceholder(CArrayDoc* document, QWidget* parent)
    : QFrame(parent), m_document(document) {
    setObjectName("graphPlaceholder");
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // A click gives it the keyboard focus, as it will give the graph view:
    // Copy then copies the graph's picture, not the spreadsheet's
    // selection. Not by tabbing, so it never takes the focus at start-up.
    setFocusPolicy(Qt::ClickFocus);
    document->addView(this);
    // The file check runs only while one of our windows is active, so a
    // question never pops up over another program.
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (QApplication::activeWindow()) m_document->checkForChange();
    });
    m_watch.start(2000);
}

GraphPlaceholder::~GraphPlaceholder() {
    m_document->removeView(this);
}
