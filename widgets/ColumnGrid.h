#pragma once
#include <QTableWidget>
#include <functional>

// A grid whose fixed rows and columns are cells like any other (row 0 holds
// the headings), as the program's tables are laid out. Fixed cells are drawn
// bold on the pale cyan of the program; a window may draw cells itself.
class ColumnGrid : public QTableWidget {
    Q_OBJECT
public:
    // Returns true when it painted the cell; false leaves it to the grid.
    using DrawCell = std::function<bool(QPainter& painter, const QRect& rect, int row, int col)>;

    explicit ColumnGrid(QWidget* parent = nullptr);

    void setFixedRows(int rows) { m_fixedRows = rows; viewport()->update(); }
    void setFixedCols(int cols) { m_fixedCols = cols; viewport()->update(); }
    [[nodiscard]] int fixedRows() const { return m_fixedRows; }
    [[nodiscard]] int fixedCols() const { return m_fixedCols; }
    [[nodiscard]] bool isFixed(int row, int col) const { return row < m_fixedRows || col < m_fixedCols; }

    [[nodiscard]] QString text(int row, int col) const;
    void setText(int row, int col, const QString& text);
    // Empties every cell of the rows from `fromRow` on.
    void clearRows(int fromRow);
    void setColumnAlignment(int col, Qt::Alignment alignment);
    void setAllAlignment(Qt::Alignment alignment);
    void setDrawCell(DrawCell draw) { m_drawCell = std::move(draw); }
    void setFixedColor(const QColor& color) { m_fixedColor = color; }
    void setWholeRowSelect(bool on);
    void setDefaultRowHeight(int px);

    // Used by the item delegate.
    [[nodiscard]] const DrawCell& drawCell() const { return m_drawCell; }
    [[nodiscard]] const QColor& fixedColor() const { return m_fixedColor; }
    [[nodiscard]] Qt::Alignment alignmentOf(int col) const;

private:
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    DrawCell m_drawCell;
    QColor m_fixedColor;
    QHash<int, Qt::Alignment> m_alignment;
    std::optional<Qt::Alignment> m_allAlignment;
};
