#include "GridModel.h"

#include <algorithm>

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setShape(int rows, int columns) {
    beginResetModel();
    m_rows = std::max(rows, 0);
    m_columns = std::max(columns, 0);
    m_cells.clear();
    m_rowLabels.clear();
    m_columnLabels.clear();
    m_dirtyTop = m_dirtyBottom = m_dirtyLeft = m_dirtyRight = -1;
    m_dirtyRowLabels[0] = m_dirtyRowLabels[1] = -1;
    m_dirtyColumnLabels[0] = m_dirtyColumnLabels[1] = -1;
    endResetModel();
}

void GridModel::touch(int row, int column) {
    if (m_dirtyTop < 0) {
        m_dirtyTop = m_dirtyBottom = row;
        m_dirtyLeft = m_dirtyRight = column;
        return;
    }
    m_dirtyTop = std::min(m_dirtyTop, row);
    m_dirtyBottom = std::max(m_dirtyBottom, row);
    m_dirtyLeft = std::min(m_dirtyLeft, column);
    m_dirtyRight = std::max(m_dirtyRight, column);
}

static void widen(int range[2], int at) {
    if (range[0] < 0) {
        range[0] = range[1] = at;
    } else {
        range[0] = std::min(range[0], at);
        range[1] = std::max(range[1], at);
    }
}

void GridModel::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns) return;
    m_cells.insert(key(row, column), text);
    ++m_cellWrites;
    touch(row, column);
}

QString GridModel::cellText(int row, int column) const {
    return m_cells.value(key(row, column));
}

void GridModel::retainRowColumns(int row, int oldFirst, int oldEnd, int first, int end) {
    for (int c = oldFirst; c < oldEnd; ++c)
        if (c < first || c >= end) m_cells.remove(key(row, c));
}

void GridModel::setRowLabel(int row, const QString& text) {
    if (row < 0 || row >= m_rows) return;
    m_rowLabels.insert(row, text);
    ++m_labelWrites;
    widen(m_dirtyRowLabels, row);
}

void GridModel::setColumnLabel(int column, const QString& text) {
    if (column < 0 || column >= m_columns) return;
    m_columnLabels.insert(column, text);
    ++m_labelWrites;
    widen(m_dirtyColumnLabels, column);
}

void GridModel::publish() {
    if (m_dirtyTop >= 0)
        emit dataChanged(index(m_dirtyTop, m_dirtyLeft), index(m_dirtyBottom, m_dirtyRight),
                         {Qt::DisplayRole});
    if (m_dirtyRowLabels[0] >= 0)
        emit headerDataChanged(Qt::Vertical, m_dirtyRowLabels[0], m_dirtyRowLabels[1]);
    if (m_dirtyColumnLabels[0] >= 0)
        emit headerDataChanged(Qt::Horizontal, m_dirtyColumnLabels[0], m_dirtyColumnLabels[1]);
    m_dirtyTop = m_dirtyBottom = m_dirtyLeft = m_dirtyRight = -1;
    m_dirtyRowLabels[0] = m_dirtyRowLabels[1] = -1;
    m_dirtyColumnLabels[0] = m_dirtyColumnLabels[1] = -1;
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) {
        auto it = m_cells.constFind(key(index.row(), index.column()));
        return it == m_cells.constEnd() ? QVariant() : QVariant(*it);
    }
    // Texts are fixed-width and already padded by their format; centring
    // keeps the decimal points of a column in line.
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const QHash<int, QString>& labels =
        orientation == Qt::Horizontal ? m_columnLabels : m_rowLabels;
    auto it = labels.constFind(section);
    return it == labels.constEnd() ? QVariant(QString()) : QVariant(*it);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
