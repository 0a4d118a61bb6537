#include "alarms/AlarmListPanel.h"

#include "alarms/AlarmWords.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kHeadings[AlarmListPanel::ColumnCount] = {"시각", "등급", "채널", "종류", "값", "상태"};
const int kWidths[AlarmListPanel::ColumnCount] = {140, 44, 110, 80, 90, 96};

} // namespace

AlarmListPanel::AlarmListPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PanAlarms"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    auto* head = new QHBoxLayout;
    m_heading = new QLabel(QStringLiteral("경보 목록"), this);
    m_heading->setObjectName(QStringLiteral("labAlarms"));
    m_heading->setStyleSheet(QStringLiteral("color: #800000; font-weight: bold;"));
    m_ack = new QPushButton(QStringLiteral("확인"), this);
    m_ack->setObjectName(QStringLiteral("butAck"));
    m_ack->setToolTip(QStringLiteral("선택한 경보를 확인합니다"));
    m_ackAll = new QPushButton(QStringLiteral("모두 확인"), this);
    m_ackAll->setObjectName(QStringLiteral("butAckAll"));
    m_ackAll->setToolTip(QStringLiteral("목록의 모든 경보를 확인합니다"));
    m_mute = new QToolButton(this);
    m_mute->setObjectName(QStringLiteral("spbMute"));
    m_mute->setText(QStringLiteral("소리 끄기"));
    m_mute->setToolTip(QStringLiteral("프로그램을 다시 시작할 때까지 경보음을 끕니다"));
    m_mute->setCheckable(true);
    for (QPushButton* b : {m_ack, m_ackAll})
        b->setAutoDefault(false);
    head->addWidget(m_heading, 1);
    head->addWidget(m_mute);
    head->addWidget(m_ack);
    head->addWidget(m_ackAll);
    layout->addLayout(head);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("labAlarmProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: red;"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("lsbAlarms"));
    m_table->setAccessibleName(QStringLiteral("경보 목록"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(18);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < ColumnCount; ++c) {
        m_table->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(kHeadings[c])));
        m_table->setColumnWidth(c, kWidths[c]);
    }
    layout->addWidget(m_table, 1);

    connect(m_table, &QTableWidget::itemSelectionChanged, this, &AlarmListPanel::updateButtons);
    connect(m_ack, &QPushButton::clicked, this, [this] {
        if (const auto key = selectedKey())
            Q_EMIT acknowledgeRequested(*key);
    });
    connect(m_ackAll, &QPushButton::clicked, this, &AlarmListPanel::acknowledgeAllRequested);
    updateButtons();
}

void AlarmListPanel::setChannels(const QStringList& captions, const QList<int>& decimals)
{
    m_captions = captions;
    m_decimals = decimals;
}

QString AlarmListPanel::channelText(const AlarmKey& key) const
{
    if (key.channel <= 0)
        return QStringLiteral("시스템");
    const QString caption = m_captions.value(key.channel - 1);
    return caption.trimmed().isEmpty() ? QStringLiteral("%1번 채널").arg(key.channel) : caption;
}

QString AlarmListPanel::valueText(const AlarmTransition& t) const
{
    if (!t.value)
        return {}; // a system alarm's reason is in the row's tip
    const int decimals = std::clamp(m_decimals.value(t.key.channel - 1), 0, 9);
    return QString::number(*t.value, 'f', decimals);
}

void AlarmListPanel::showAlarms(const QList<AlarmTransition>& listed)
{
    const std::optional<AlarmKey> keep = selectedKey();
    m_listed = listed;
    const QSignalBlocker blocker(m_table);
    m_table->clearSelection();
    m_table->setRowCount(int(listed.size()));
    int selectAgain = -1;
    for (int r = 0; r < int(listed.size()); ++r) {
        const AlarmTransition& t = listed[r];
        const QString texts[ColumnCount] = {t.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                            priorityWord(t.priority),
                                            channelText(t.key),
                                            kindWord(t.key.kind),
                                            valueText(t),
                                            stateWord(t.state)};
        // Active alarms are written in their priority's colour; returned ones in black.
        const QColor color = active(t.state) ? priorityColor(t.priority).darker(t.priority == AlarmPriority::Warning ? 160 : 100)
                                             : QColor(Qt::black);
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setForeground(color);
            if (unacknowledged(t.state)) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            if (!t.detail.isEmpty())
                item->setToolTip(t.detail);
            m_table->setItem(r, c, item);
        }
        if (keep && *keep == t.key)
            selectAgain = r;
    }
    if (selectAgain >= 0)
        m_table->selectRow(selectAgain);
    m_heading->setText(listed.isEmpty() ? QStringLiteral("경보 목록") : QStringLiteral("경보 목록 (%1)").arg(listed.size()));
    updateButtons();
}

void AlarmListPanel::setProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->setVisible(!text.isEmpty());
}

QString AlarmListPanel::problem() const
{
    return m_problem->text();
}

int AlarmListPanel::rowCount() const
{
    return m_table->rowCount();
}

QString AlarmListPanel::cellText(int row, int col) const
{
    const QTableWidgetItem* item = m_table->item(row, col);
    return item ? item->text() : QString();
}

std::optional<AlarmKey> AlarmListPanel::selectedKey() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_table->selectedRanges();
    if (ranges.isEmpty())
        return std::nullopt;
    const int row = ranges.first().topRow();
    if (row < 0 || row >= m_listed.size())
        return std::nullopt;
    return m_listed[row].key;
}

void AlarmListPanel::selectRow(int row)
{
    m_table->selectRow(row);
}

void AlarmListPanel::updateButtons()
{
    bool selectedUnacked = false;
    if (const auto key = selectedKey()) {
        for (const AlarmTransition& t : m_listed)
            if (t.key == *key)
                selectedUnacked = unacknowledged(t.state);
    }
    const bool anyUnacked = std::any_of(m_listed.cbegin(), m_listed.cend(),
                                        [](const AlarmTransition& t) { return unacknowledged(t.state); });
    m_ack->setEnabled(selectedUnacked);
    m_ackAll->setEnabled(anyUnacked);
}
