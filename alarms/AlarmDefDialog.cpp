#include "alarms/AlarmDefDialog.h"

#include "alarms/AlarmFile.h"
#include "alarms/AlarmWords.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

QLineEdit* numberEdit(QWidget* parent, const char* name, const QString& accessible, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessible);
    edit->setMaxLength(12);
    return edit;
}

} // namespace

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

QString limitText(const std::optional<double>& limit)
{
    return limit ? numberText(*limit) : QString();
}

std::optional<double> parseLimit(const QString& text, bool* ok)
{
    const QString t = text.trimmed();
    *ok = true;
    if (t.isEmpty())
        return std::nullopt;
    bool read = false;
    const double value = t.toDouble(&read); // C locale: '.' only
    if (!read || !std::isfinite(value) || t.contains(QLatin1Char(','))) {
        *ok = false;
        return std::nullopt;
    }
    return value;
}

AlarmDefDialog::AlarmDefDialog(const QString& channelName, const ChannelAlarmDef& def, QWidget* parent)
    : QDialog(parent), m_def(def)
{
    setObjectName(QStringLiteral("AlarmDefF"));
    setWindowTitle(QStringLiteral("경보 설정 - %1").arg(channelName));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_high = numberEdit(this, "edtHigh", QStringLiteral("상한"), limitText(def.high));
    m_low = numberEdit(this, "edtLow", QStringLiteral("하한"), limitText(def.low));
    m_hysteresis = numberEdit(this, "edtHysteresis", QStringLiteral("히스테리시스"), numberText(def.hysteresis));
    m_delay = numberEdit(this, "edtDelay", QStringLiteral("지연(초)"), QString::number(def.onDelaySeconds));
    m_priority = new QComboBox(this);
    m_priority->setObjectName(QStringLiteral("cmbPriority"));
    m_priority->setAccessibleName(QStringLiteral("등급"));
    m_priority->addItems({priorityWord(AlarmPriority::Alarm), priorityWord(AlarmPriority::Warning)});
    m_priority->setCurrentIndex(def.priority == AlarmPriority::Warning ? 1 : 0);
    form->addRow(QStringLiteral("상한 (비우면 없음)"), m_high);
    form->addRow(QStringLiteral("하한 (비우면 없음)"), m_low);
    form->addRow(QStringLiteral("히스테리시스"), m_hysteresis);
    form->addRow(QStringLiteral("지연(초)"), m_delay);
    form->addRow(QStringLiteral("등급"), m_priority);
    layout->addLayout(form);

    auto* note = new QLabel(QStringLiteral("값은 표시 단위(Dot 적용 후)이며 소수점은 '.'입니다.\n"
                                           "상한 경보는 값이 (상한 - 히스테리시스) 아래로 내려가야 복귀합니다."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("labProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: red;"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("확인"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("butOk"));
    auto* cancel = buttons->addButton(QStringLiteral("취소"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("butCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmDefDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AlarmDefDialog::reject);
    layout->addWidget(buttons);
}

QString AlarmDefDialog::check()
{
    ChannelAlarmDef def;
    bool ok = true;
    def.high = parseLimit(m_high->text(), &ok);
    if (!ok)
        return QStringLiteral("상한은 '.' 소수점 숫자이거나 비어 있어야 합니다.");
    def.low = parseLimit(m_low->text(), &ok);
    if (!ok)
        return QStringLiteral("하한은 '.' 소수점 숫자이거나 비어 있어야 합니다.");
    if (def.high && def.low && !(*def.high > *def.low))
        return QStringLiteral("상한은 하한보다 커야 합니다.");
    const std::optional<double> hysteresis = parseLimit(m_hysteresis->text(), &ok);
    if (!ok || (hysteresis && *hysteresis < 0))
        return QStringLiteral("히스테리시스는 0 이상의 숫자여야 합니다.");
    def.hysteresis = hysteresis.value_or(0);
    const QString delayText = m_delay->text().trimmed();
    bool delayOk = delayText.isEmpty();
    const int delay = delayOk ? 0 : delayText.toInt(&delayOk);
    if (!delayOk || delay < 0 || delay > kMaxAlarmDelaySeconds)
        return QStringLiteral("지연은 0부터 %1까지의 정수(초)여야 합니다.").arg(kMaxAlarmDelaySeconds);
    def.onDelaySeconds = delay;
    def.priority = m_priority->currentIndex() == 1 ? AlarmPriority::Warning : AlarmPriority::Alarm;
    m_def = def;
    return {};
}

void AlarmDefDialog::accept()
{
    const QString problem = check();
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (problem.isEmpty())
        QDialog::accept();
}
