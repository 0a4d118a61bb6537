#include "review/SampleModel.h"

#include <limits>

SampleModel::SampleModel(QObject* parent) : QAbstractTableModel(parent) {}

void SampleModel::clear()
{
    beginResetModel();
    m_table.clear();
    endResetModel();
}

void SampleModel::setChannels(const QStringList& captions, const Regional& regional)
{
    beginResetModel();
    m_table.setChannels(captions, regional);
    endResetModel();
}

void SampleModel::append(RowChunk&& chunk)
{
    const qint64 added = chunk.rows();
    if (added == 0)
        return;
    const qint64 before = m_table.sampleCount();
    // The view's row count is an int: rows past that stay in the table (and
    // go to the workbook) but are not listed.
    constexpr qint64 kViewLimit = std::numeric_limits<int>::max();
    const int shownBefore = rowCount();
    const int shownAfter = int(std::min(kViewLimit, std::max<qint64>(1, before + added)));
    if (shownAfter > shownBefore)
        beginInsertRows({}, shownBefore, shownAfter - 1);
    m_table.append(std::move(chunk));
    if (shownAfter > shownBefore)
        endInsertRows();
    if (before == 0) // the empty row now holds the first sample
        Q_EMIT dataChanged(index(0, 0), index(0, columnCount() - 1));
}

int SampleModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(std::clamp<qint64>(m_table.sampleCount(), 1, std::numeric_limits<int>::max()));
}

int SampleModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_table.columnCount();
}

QVariant SampleModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return m_table.cell(index.row(), index.column(), kShownBytes);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    // What a screen reader says of a cell, as the program's grids say it.
    if (role == Qt::AccessibleTextRole) {
        const QString text = m_table.cell(index.row(), index.column(), kShownBytes);
        return QStringLiteral("%1행 %2열 %3: %4")
            .arg(index.row() + 1)
            .arg(index.column() + 1)
            .arg(m_table.header(index.column()), text.isEmpty() ? QStringLiteral("빈 칸") : text);
    }
    return {};
}

QVariant SampleModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_table.header(section);
    // The fixed first column of the grid: each row's Date/Time.
    return m_table.cell(section, 0, kShownBytes);
}

Qt::ItemFlags SampleModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
