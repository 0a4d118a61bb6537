#include "widgets/ColumnGrid.h"

#include "widgets/Colors.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QPainter>
#include <QPaintEvent>
#include <QStyledItemDelegate>

namespace {

constexpr int kTextPadding = 2;

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(ColumnGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const int row = index.row(), col = index.column();
        if (const auto& draw = m_grid->drawCell(); draw) {
            painter->save();
            const bool done = draw(*painter, option.rect, row, col);
            painter->restore();
            if (done)
                return;
        }
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        opt.displayAlignment = m_grid->alignmentOf(col);
        QStyledItemDelegate::paint(painter, opt, index);
    }

private:
    ColumnGrid* m_grid;
};

// A cell that tells a screen reader where it is: its row and column, the
// column's heading and its text.
class GridItem : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;

    QVariant data(int role) const override
    {
        if (role != Qt::AccessibleTextRole)
            return QTableWidgetItem::data(role);
        const auto* grid = qobject_cast<const ColumnGrid*>(tableWidget());
        return grid ? grid->cellName(row(), column()) : text();
    }
    QTableWidgetItem* clone() const override { return new GridItem(*this); }
};

// The heading row (horizontal) or the first column (vertical): the grid's
// fixed cells, drawn from the grid's own row 0 or column 0.
class FixedHeader : public QHeaderView {
public:
    FixedHeader(Qt::Orientation orientation, ColumnGrid* grid) : QHeaderView(orientation, grid), m_grid(grid)
    {
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
        // Past the last row or column the grid shows its own background.
        viewport()->setBackgroundRole(QPalette::Base);
    }

    [[nodiscard]] QSize sizeHint() const override
    {
        const QSize hint = QHeaderView::sizeHint();
        return orientation() == Qt::Horizontal ? QSize(hint.width(), m_grid->headingRowHeight())
                                               : QSize(m_grid->columnWidth(0), hint.height());
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (orientation() == Qt::Horizontal)
            m_grid->paintFixedCell(*painter, rect, 0, logicalIndex);
        else
            m_grid->paintFixedCell(*painter, rect, logicalIndex, 0);
    }

private:
    ColumnGrid* m_grid;
};

} // namespace

ColumnGrid::ColumnGrid(QWidget* parent)
    : QTableWidget(parent), m_fixedColor(colorFromValue(kFixedCellColor))
{
    setHorizontalHeader(new FixedHeader(Qt::Horizontal, this));
    setVerticalHeader(new FixedHeader(Qt::Vertical, this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new GridDelegate(this));
    setStyleSheet(QStringLiteral("QTableWidget { gridline-color: silver; }"));
    setDefaultRowHeight(18);
    setWordWrap(false);
    // The top-left cell (0, 0) is the corner between the two headers; it
    // selects nothing.
    setCornerButtonEnabled(false);
    m_corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (m_corner)
        m_corner->installEventFilter(this);

    QAbstractItemModel* cells = model();
    connect(cells, &QAbstractItemModel::rowsInserted, this, &ColumnGrid::keepFixedCellsInHeaders);
    connect(cells, &QAbstractItemModel::columnsInserted, this, &ColumnGrid::keepFixedCellsInHeaders);
    connect(cells, &QAbstractItemModel::modelReset, this, &ColumnGrid::keepFixedCellsInHeaders);
    // A window may draw a cell from other cells of its row (a colour swatch
    // from a hidden value), so a changed cell repaints its whole row.
    connect(cells, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                repaintRows(topLeft.row(), bottomRight.row(), topLeft.column());
            });
}

void ColumnGrid::keepFixedCellsInHeaders()
{
    if (rowCount() > 0 && !isRowHidden(0))
        setRowHidden(0, true);
    if (columnCount() > 0 && !isColumnHidden(0))
        setColumnHidden(0, true);
    // Every cell, empty or not, is an item, so each one has a name to read.
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (!item(r, c))
                setItem(r, c, newCell(r, c));
}

QTableWidgetItem* ColumnGrid::newCell(int row, int col) const
{
    auto* it = new GridItem;
    it->setFlags(isFixed(row, col) ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return it;
}

QString ColumnGrid::cellName(int row, int col) const
{
    const QString heading = text(0, col);
    const QString value = text(row, col);
    return QStringLiteral("%1행 %2열%3: %4")
        .arg(row)
        .arg(col)
        .arg(heading.isEmpty() ? QString() : QLatin1Char(' ') + heading)
        .arg(value.isEmpty() ? QStringLiteral("빈 칸") : value);
}

// The cells' model outlives this part of the grid: it is reset while the
// base class tears down, when no slot of ours may run any more.
ColumnGrid::~ColumnGrid()
{
    disconnect(model(), nullptr, this, nullptr);
}

void ColumnGrid::repaintRows(int firstRow, int lastRow, int firstCol)
{
    if (firstRow == 0)
        horizontalHeader()->viewport()->update();
    if (firstCol == 0)
        verticalHeader()->viewport()->update();
    if (firstRow == 0 && firstCol == 0 && m_corner)
        m_corner->update();
    for (int r = std::max(firstRow, 1); r <= lastRow; ++r) {
        const int y = rowViewportPosition(r);
        if (y >= 0 || y + rowHeight(r) > 0)
            viewport()->update(QRect(0, y, viewport()->width(), rowHeight(r)));
    }
}

QString ColumnGrid::text(int row, int col) const
{
    const QTableWidgetItem* it = item(row, col);
    return it ? it->text() : QString();
}

void ColumnGrid::setText(int row, int col, const QString& text)
{
    if (row < 0 || col < 0 || row >= rowCount() || col >= columnCount())
        return;
    QTableWidgetItem* it = item(row, col);
    if (!it) {
        it = newCell(row, col);
        setItem(row, col, it);
    }
    it->setText(text);
}

void ColumnGrid::setTextColor(int row, int col, const QColor& color)
{
    if (QTableWidgetItem* it = item(row, col))
        it->setData(Qt::ForegroundRole, color.isValid() ? QVariant(color) : QVariant());
}

QColor ColumnGrid::textColor(int row, int col) const
{
    const QTableWidgetItem* it = item(row, col);
    return it ? it->data(Qt::ForegroundRole).value<QColor>() : QColor();
}

void ColumnGrid::clearRows(int fromRow)
{
    for (int r = fromRow; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (QTableWidgetItem* it = item(r, c)) {
                it->setText(QString());
                it->setData(Qt::ForegroundRole, QVariant());
            }
}

void ColumnGrid::setColumnAlignment(int col, Qt::Alignment alignment)
{
    m_alignment.insert(col, alignment);
    viewport()->update();
}

void ColumnGrid::setAllAlignment(Qt::Alignment alignment)
{
    m_allAlignment = alignment;
    viewport()->update();
}

Qt::Alignment ColumnGrid::alignmentOf(int col) const
{
    if (auto it = m_alignment.constFind(col); it != m_alignment.constEnd())
        return *it;
    return m_allAlignment.value_or(Qt::AlignLeft | Qt::AlignVCenter);
}

void ColumnGrid::setWholeRowSelect(bool on)
{
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void ColumnGrid::setDefaultRowHeight(int px)
{
    m_headingRowHeight = px;
    verticalHeader()->setMinimumSectionSize(px);
    verticalHeader()->setDefaultSectionSize(px);
    updateGeometries();
}

void ColumnGrid::setColumnWidth(int col, int width)
{
    if (col == 0) {
        m_fixedColumnWidth = width;
        updateGeometries();
        return;
    }
    QTableWidget::setColumnWidth(col, width);
}

int ColumnGrid::columnWidth(int col) const
{
    return col == 0 ? m_fixedColumnWidth : QTableWidget::columnWidth(col);
}

void ColumnGrid::paintFixedCell(QPainter& painter, const QRect& rect, int row, int col) const
{
    painter.save();
    const bool drawn = m_drawCell && m_drawCell(painter, rect, row, col);
    painter.restore();
    painter.save();
    if (!drawn) {
        painter.fillRect(rect, m_fixedColor);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(rect.adjusted(kTextPadding, 0, -kTextPadding, 0), int(alignmentOf(col)), text(row, col));
    }
    painter.setPen(QColor(Qt::gray));
    painter.drawLine(rect.topRight(), rect.bottomRight());
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.restore();
}

bool ColumnGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_corner && event->type() == QEvent::Paint) {
        QPainter painter(m_corner);
        paintFixedCell(painter, m_corner->rect(), 0, 0);
        return true;
    }
    return QTableWidget::eventFilter(watched, event);
}
