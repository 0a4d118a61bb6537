#include "widgets/ColumnGrid.h"

#include "widgets/Colors.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

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
        if (m_grid->isFixed(row, col)) {
            painter->fillRect(opt.rect, m_grid->fixedColor());
            opt.font.setBold(true);
            opt.state &= ~QStyle::State_Selected;
            opt.backgroundBrush = Qt::NoBrush;
        }
        QStyledItemDelegate::paint(painter, opt, index);
    }

private:
    ColumnGrid* m_grid;
};

} // namespace

ColumnGrid::ColumnGrid(QWidget* parent)
    : QTableWidget(parent), m_fixedColor(colorFromValue(kFixedCellColor))
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new GridDelegate(this));
    setStyleSheet(QStringLiteral("QTableWidget { gridline-color: silver; }"));
    setDefaultRowHeight(18);
    setWordWrap(false);
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
        if (text.isEmpty())
            return;
        it = new QTableWidgetItem;
        it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        setItem(row, col, it);
    }
    it->setText(text);
}

void ColumnGrid::clearRows(int fromRow)
{
    for (int r = fromRow; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            delete takeItem(r, c);
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
    verticalHeader()->setMinimumSectionSize(px);
    verticalHeader()->setDefaultSectionSize(px);
}
