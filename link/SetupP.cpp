#include "link/SetupP.h"

#include "link/ComComboBoxP.h"
#include "link/PollDelay.h"
#include "link/PortSettings.h"
#include "settings/Convert.h"
#include "settings/FuncP.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/Fonts.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// The five lists top to bottom: key of section ComPort1, default, label.
struct ListRow {
    const char* name;
    TComProperty property;
    const char* key;
    const char* defaultValue;
    const char* label;
};
constexpr ListRow kRows[5] = {
    {"ComComboBox1", cpPort, "Port", "COM1", "Port:"},
    {"ComComboBox2", cpBaudRate, "BaudRate", "9600", "BaudRate:"},
    {"ComComboBox3", cpParity, "Parity", "None", "Parity:"},
    {"ComComboBox4", cpDataBits, "DataBits", "8", "DataBits:"},
    {"ComComboBox5", cpStopBits, "StopBits", "1", "StopBits:"},
};

const QString kSection = QStringLiteral("ComPort1");
const QString kDelaySection = QStringLiteral("Delay");
const QString kDelayKey = QStringLiteral("Time");

QFrame* bevel(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return frame;
}

QLabel* heading(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

} // namespace

TSetupF::TSetupF(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("SetupF"));
    setWindowTitle(QStringLiteral("통신설정"));
    setFont(gulimche(9));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);

    auto* bevel1 = bevel(this);
    bevel1->setObjectName(QStringLiteral("Bevel1"));
    auto* grid = new QGridLayout(bevel1);
    grid->addWidget(heading(QStringLiteral("Label6"), QStringLiteral("통신설정"), bevel1), 0, 0, 1, 2);
    QPalette labelPalette = palette();
    labelPalette.setColor(QPalette::WindowText, QColor(0, 0, 128));   // navy
    QPalette listPalette = palette();
    listPalette.setColor(QPalette::ButtonText, QColor(128, 0, 0));    // maroon
    listPalette.setColor(QPalette::Text, QColor(128, 0, 0));
    QFont bold = font();
    bold.setBold(true);
    for (int i = 0; i < 5; ++i) {
        const ListRow& row = kRows[i];
        auto* label = new QLabel(QString::fromLatin1(row.label), bevel1);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setPalette(labelPalette);
        label->setFont(bold);
        auto* list = new TComComboBox(bevel1);
        list->setObjectName(QString::fromLatin1(row.name));
        list->setPalette(listPalette);
        list->setFont(bold);
        list->setMinimumWidth(150);
        list->setComProperty(row.property);
        label->setBuddy(list);
        grid->addWidget(label, i + 1, 0);
        grid->addWidget(list, i + 1, 1);
        m_lists[i] = list;
    }
    layout->addWidget(bevel1);

    auto* bevel2 = bevel(this);
    bevel2->setObjectName(QStringLiteral("Bevel2"));
    auto* delay = new QGridLayout(bevel2);
    delay->addWidget(heading(QStringLiteral("Label7"), QStringLiteral("Delay Timer"), bevel2), 0, 0, 1, 2);
    m_edtSec = new QLineEdit(QStringLiteral("200"), bevel2);
    m_edtSec->setObjectName(QStringLiteral("edtSec"));
    m_edtSec->setFrame(false);
    QPalette yellow = m_edtSec->palette();
    yellow.setColor(QPalette::Base, QColor(255, 255, 225));
    m_edtSec->setPalette(yellow);
    m_edtSec->setMaximumWidth(100);
    delay->addWidget(m_edtSec, 1, 0);
    delay->addWidget(new QLabel(QStringLiteral("msec"), bevel2), 1, 1);
    delay->setColumnStretch(1, 1);
    // How long one poll takes on the wire at the chosen line settings, and a
    // warning when the delay leaves no room for the reply.
    m_labWire = new QLabel(bevel2);
    m_labWire->setObjectName(QStringLiteral("labWire"));
    delay->addWidget(m_labWire, 2, 0, 1, 2);
    m_labWarning = new QLabel(bevel2);
    m_labWarning->setObjectName(QStringLiteral("labWarning"));
    m_labWarning->setStyleSheet(QStringLiteral("color: red;"));
    m_labWarning->setWordWrap(true);
    m_labWarning->setFixedWidth(260);
    delay->addWidget(m_labWarning, 3, 0, 1, 2);
    layout->addWidget(bevel2);
    for (TComComboBox* l : m_lists)
        connect(l, &QComboBox::currentIndexChanged, this, &TSetupF::showWireTime);
    connect(m_edtSec, &QLineEdit::textChanged, this, &TSetupF::showWireTime);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* save = new QPushButton(QStringLiteral("저장"), this);
    save->setObjectName(QStringLiteral("butSave"));
    auto* exit = new QPushButton(QStringLiteral("종료"), this);
    exit->setObjectName(QStringLiteral("butExit"));
    // Enter in a field must not press a button behind the operator's back.
    for (QPushButton* b : {save, exit})
        b->setAutoDefault(false);
    buttons->addWidget(save);
    buttons->addWidget(exit);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &TSetupF::butSaveClick);
    connect(exit, &QPushButton::clicked, this, &TSetupF::butExitClick);

    // Keyboard order follows the layout: the lists top to bottom, the delay,
    // then 저장 and 종료.
    for (int i = 0; i + 1 < 5; ++i)
        setTabOrder(m_lists[i], m_lists[i + 1]);
    setTabOrder(m_lists[4], m_edtSec);
    setTabOrder(m_edtSec, save);
    setTabOrder(save, exit);
    m_edtSec->setAccessibleName(QStringLiteral("Delay Timer (msec)"));
    m_lists[0]->setFocus();

    showWireTime();
    layout->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TSetupF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        FormShow();
    } catch (const KeloError& error) {
        // The design values on show would pass for stored settings: say what
        // failed and end the dialog.
        m_context.dialogs.errorBox(this, error.text());
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
}

std::optional<int> TSetupF::delayMillis() const
{
    return parsePollDelay(m_edtSec->text());
}

double TSetupF::wireMillis() const
{
    TComPortSettings line;
    line.BaudRate = StrToBaudRate(m_lists[1]->Text());
    if (line.BaudRate == brCustom)
        line.CustomBaudRate = parseCustomBaudRate(IniFile(MainIniPath()).read(kSection, QStringLiteral("CustomBaudRate")));
    line.Parity = StrToParity(m_lists[2]->Text());
    line.DataBits = StrToDataBits(m_lists[3]->Text());
    line.StopBits = StrToStopBits(m_lists[4]->Text());
    return line.exchangeMillis(kPollRequestBytes, kPollReplyBytes);
}

void TSetupF::showWireTime()
{
    const double wire = wireMillis();
    m_labWire->setText(QStringLiteral("요청과 응답(%1+%2바이트) 전송 시간: 약 %3 msec")
                           .arg(kPollRequestBytes)
                           .arg(kPollReplyBytes)
                           .arg(qRound(wire)));
    const std::optional<int> delay = delayMillis();
    m_labWarning->setText(delay && *delay < wire
                              ? QStringLiteral("Delay가 전송 시간보다 짧습니다. 응답이 다음 요청 뒤에 도착하면"
                                               " 어느 채널의 값인지 알 수 없어 버려집니다.")
                              : QString());
}

void TSetupF::FormShow()
{
    const QString ini = MainIniPath();
    for (int i = 0; i < 5; ++i) {
        const ListRow& row = kRows[i];
        m_lists[i]->setText(IniReadOrWrite(true, ini, kSection, QString::fromLatin1(row.key),
                                           QString::fromLatin1(row.defaultValue)));
    }
    m_edtSec->setText(IniReadOrWrite(true, ini, kDelaySection, kDelayKey, QStringLiteral("20")));
}

void TSetupF::butSaveClick()
{
    // A delay that is no whole number, or 0 or less, would never poll; one
    // of hours would poll so seldom that every record repeats stale values.
    if (!delayMillis()) {
        m_context.dialogs.MsgBox(this,
                                 QStringLiteral("Delay Timer에는 1 이상 %1 이하의 정수(msec, 최대 1시간)를 입력하세요: '%2'")
                                     .arg(kMaxPollDelayMs)
                                     .arg(m_edtSec->text()),
                                 applicationTitle(), MsgStyle::Ok);
        m_edtSec->setFocus();
        m_edtSec->selectAll();
        return;
    }
    const QString ini = MainIniPath();
    for (int i = 0; i < 5; ++i)
        IniReadOrWrite(false, ini, kSection, QString::fromLatin1(kRows[i].key), m_lists[i]->Text());
    IniReadOrWrite(false, ini, kDelaySection, kDelayKey, m_edtSec->text());
    close();
}

void TSetupF::butExitClick()
{
    close();
}
