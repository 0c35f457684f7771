// GridModel: the spreadsheet's cell store, playing the part of a grid control
// for CGridView.
//
// It knows the layout's shape and holds only the texts it has been given: the
// cells CGridView filled (the visible window) and the labels written so far.
// Everything else reads as empty, so a grid of a billion cells costs nothing
// until it is looked at. Row and column labels are the table's header texts.
// User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <cstdint>

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    // Data rows and columns (labels are headers, not cells). Drops every text.
    void setShape(int rows, int columns);
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }

    void setCellText(int row, int column, const QString& text);
    QString cellText(int row, int column) const;
    // Forgets the texts of row that lie outside columns first..end-1.
    void retainRowColumns(int row, int oldFirst, int oldEnd, int first, int end);
    void setRowLabel(int row, const QString& text);
    void setColumnLabel(int column, const QString& text);
    QString rowLabel(int row) const { return m_rowLabels.value(row); }
    QString columnLabel(int column) const { return m_columnLabels.value(column); }

    // Tells the attached views about the texts written since the last call.
    void publish();

    // Number of cell texts written since construction (for tests and benchmarks).
    int64_t cellWrites() const { return m_cellWrites; }
    int64_t labelWrites() const { return m_labelWrites; }
    int storedCells() const { return int(m_cells.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static uint64_t key(int row, int column) {
        return (uint64_t(uint32_t(row)) << 32) | uint32_t(column);
    }
    void touch(int row, int column);

    int m_rows = 0;
    int m_columns = 0;
    QHash<uint64_t, QString> m_cells;
    QHash<int, QString> m_rowLabels;
    QHash<int, QString> m_columnLabels;
    // Bounding box of the cells written since the last publish().
    int m_dirtyTop = -1, m_dirtyBottom = -1, m_dirtyLeft = -1, m_dirtyRight = -1;
    int m_dirtyRowLabels[2] = {-1, -1};
    int m_dirtyColumnLabels[2] = {-1, -1};
    int64_t m_cellWrites = 0;
    int64_t m_labelWrites = 0;
};
