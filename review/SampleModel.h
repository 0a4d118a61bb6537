#pragma once
#include "review/SampleTable.h"

#include <QAbstractTableModel>

// The sample grid as a table model over the row store: cells are decoded when
// the view asks for them. Row 0 of the view is the first sample; a table
// without samples shows one empty row, as the grid always has one.
class SampleModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Texts longer than this many bytes are shown cut, with "…".
    static constexpr qsizetype kShownBytes = 1024;

    explicit SampleModel(QObject* parent = nullptr);

    [[nodiscard]] const SampleTable& table() const { return m_table; }
    void clear();
    void setChannels(const QStringList& captions, const Regional& regional);
    void append(RowChunk&& chunk);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    SampleTable m_table;
};
