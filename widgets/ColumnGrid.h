#pragma once
#include <QTableWidget>
#include <functional>

class QAbstractButton;

// A grid with one fixed heading row and one fixed first column, as the
// program's tables are laid out. They are cells like any other for the
// program (text(0, c) is a heading, text(r, 0) a row's number or time), but
// they are shown in the grid's headers: the heading row stays in place when
// the grid scrolls down, the first column when it scrolls sideways, and
// neither can be selected. Fixed cells are drawn bold on the pale cyan of the
// program; a window may draw any cell itself.
class ColumnGrid : public QTableWidget {
    Q_OBJECT
public:
    // Returns true when it painted the cell; false leaves it to the grid.
    using DrawCell = std::function<bool(QPainter& painter, const QRect& rect, int row, int col)>;

    explicit ColumnGrid(QWidget* parent = nullptr);
    ~ColumnGrid() override;

    [[nodiscard]] static bool isFixed(int row, int col) { return row == 0 || col == 0; }

    [[nodiscard]] QString text(int row, int col) const;
    // What a screen reader says of a cell: "2행 3열 Caption: Zone 2".
    [[nodiscard]] QString cellName(int row, int col) const;
    void setText(int row, int col, const QString& text);
    // The colour of a cell's text; an invalid colour gives the grid's own.
    void setTextColor(int row, int col, const QColor& color);
    [[nodiscard]] QColor textColor(int row, int col) const;
    // Empties every cell of the rows from `fromRow` on.
    void clearRows(int fromRow);
    void setColumnAlignment(int col, Qt::Alignment alignment);
    void setAllAlignment(Qt::Alignment alignment);
    void setDrawCell(DrawCell draw) { m_drawCell = std::move(draw); }
    void setFixedColor(const QColor& color) { m_fixedColor = color; }
    void setWholeRowSelect(bool on);
    // Also the height of the heading row.
    void setDefaultRowHeight(int px);
    // Column 0 is the fixed column: its width is that of the row headings.
    void setColumnWidth(int col, int width);
    [[nodiscard]] int columnWidth(int col) const;

    // Used by the item delegate and the headers.
    [[nodiscard]] const DrawCell& drawCell() const { return m_drawCell; }
    [[nodiscard]] const QColor& fixedColor() const { return m_fixedColor; }
    [[nodiscard]] Qt::Alignment alignmentOf(int col) const;
    [[nodiscard]] int headingRowHeight() const { return m_headingRowHeight; }
    void paintFixedCell(QPainter& painter, const QRect& rect, int row, int col) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepFixedCellsInHeaders();
    [[nodiscard]] QTableWidgetItem* newCell(int row, int col) const;
    void repaintRows(int firstRow, int lastRow, int firstCol);

    DrawCell m_drawCell;
    QColor m_fixedColor;
    QHash<int, Qt::Alignment> m_alignment;
    std::optional<Qt::Alignment> m_allAlignment;
    int m_fixedColumnWidth = 64;
    int m_headingRowHeight = 18;
    QAbstractButton* m_corner = nullptr;
};
