// ViewerDocument: the open array as the main frame and its views see it.
//
// Holds the array (an agl file mapped in place, a named shared-memory block,
// or an agl ASCII text file read into shared memory), its path and title, and
// the marker shared by the views. Opening detects the kind of file from its
// first four bytes; HDF files and bitmaps fail with the usual
// "Unable to read file: %s" message.
// User-interface thread only.
#pragma once

#include "CGridView.h"
#include "aglArray.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ViewerDocument : public QObject, public GridDocument {
    Q_OBJECT
public:
    explicit ViewerDocument(QObject* parent = nullptr);
    ~ViewerDocument() override;

    // Where failure messages go; the default is a message box captioned
    // "Veradyne Tavrix".
    void setMessageSink(std::function<void(const QString&)> sink) { m_sink = std::move(sink); }
    void attachGrid(CGridView* grid) { m_grid = grid; }

    // Opens path (a file, else a shared-memory segment name). On failure the
    // message is shown and the previous array stays.
    bool open(const QString& path);
    // Back to an empty document.
    void newDocument();

    bool hasData() const { return m_hasData; }
    QString path() const { return m_path; }
    QString title() const { return m_title; }
    int64_t cursorRow() const { return m_row; }
    int64_t cursorColumn() const { return m_column; }
    const aglArray& array() const { return *m_array; }

    const aglArray* gridArray() const override { return m_hasData ? m_array.get() : nullptr; }
    // Clamps (row, column) to the array, moves every view's marker, and
    // reports the position text.
    void moveMarker(int64_t row, int64_t column, QObject* from) override;

signals:
    void titleChanged(const QString& title);
    void shapeTextChanged(const QString& text);
    void positionTextChanged(const QString& text);

private:
    void report(const QString& message);

    bool readText(const QString& path);

    std::unique_ptr<aglArray> m_array;
    CGridView* m_grid = nullptr;
    std::function<void(const QString&)> m_sink;
    bool m_hasData = false;
    bool m_moving = false;
    QString m_path;
    QString m_title;
    int64_t m_row = 0;
    int64_t m_column = 0;
};
