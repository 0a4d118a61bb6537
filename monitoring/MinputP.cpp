#include "monitoring/MinputP.h"

#include "alarms/AlarmDefDialog.h"
#include "alarms/AlarmFile.h"
#include "alarms/AlarmWords.h"
#include "monitoring/ChannelSet.h"
#include "settings/KeloError.h"
#include "settings/Convert.h"
#include "settings/FuncP.h"
#include "widgets/AppContext.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/Colors.h"
#include "widgets/ColumnGrid.h"
#include "widgets/EscapeKeeper.h"
#include "widgets/Fonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QValidator>
#include <algorithm>

namespace {

constexpr int kWidth = 392;
constexpr int kHeight = 420;
constexpr int kEditHeight = 21;
constexpr int kWhite = 16777215;
constexpr int kLightYellow = 8454143;

// The nine columns of the set, then the channel's alarm limits, held
// hidden like the colour value so that they move with their row.
enum Column { ColNo, ColColor, ColAddr, ColCaption, ColReg, ColDot, ColMax, ColMin, ColV,
              ColHigh, ColLow, ColHysteresis, ColDelay, ColPriority, ColumnCount };
constexpr int kSetColumns = ColHigh;

// Limits what may be typed or pasted into an edit. A paste longer than the
// room left is cut to fit, as the system's edits always did. Text set by the
// program (a loaded file) is kept whole, as the file holds it, and may then
// shrink but not grow. The title and caption are written into ";"-separated
// lines, so they never take a ";" or a line end.
class EntryValidator : public QValidator {
public:
    EntryValidator(QLineEdit* edit, int maxLength, bool noSeparator)
        : QValidator(edit), m_edit(edit), m_maxLength(maxLength), m_noSeparator(noSeparator)
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_lengthBefore = text.size(); });
    }

    State validate(QString& input, int& pos) const override
    {
        if (m_noSeparator) {
            for (qsizetype i = input.size() - 1; i >= 0; --i) {
                const QChar c = input.at(i);
                if (c == QLatin1Char(';') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                    input.remove(i, 1);
                    if (pos > i)
                        --pos;
                }
            }
        }
        // Text the program set is not a modification of the edit.
        const qsizetype room = std::max<qsizetype>(m_maxLength, m_lengthBefore);
        if (m_edit->isModified() && input.size() > room) {
            // What was just typed or pasted ends at the cursor: cut its end.
            const qsizetype excess = input.size() - room;
            const int cut = int(std::min<qsizetype>(excess, pos));
            input.remove(pos - cut, cut);
            pos -= cut;
            input.truncate(room);
        }
        return Acceptable;
    }

private:
    const QLineEdit* m_edit;
    int m_maxLength;
    bool m_noSeparator;
    qsizetype m_lengthBefore = 0;
};

enum GlyphKind { GlyphAdd, GlyphEdit, GlyphDelete, GlyphAlarm };

// Small glyphs of the row buttons, drawn here so they need no picture files.
QIcon rowGlyph(int kind)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case GlyphAdd:
        p.setPen(QPen(QColor(0, 128, 0), 3));
        p.drawLine(8, 2, 8, 14);
        p.drawLine(2, 8, 14, 8);
        break;
    case GlyphEdit:
        p.setPen(QPen(QColor(0, 0, 160), 2));
        p.drawLine(3, 13, 12, 4);
        p.drawLine(2, 14, 5, 14);
        p.setPen(QPen(QColor(200, 120, 0), 3));
        p.drawLine(11, 5, 13, 3);
        break;
    case GlyphAlarm:
        p.setPen(QPen(QColor(192, 0, 0), 2));
        p.setBrush(QColor(255, 200, 0));
        p.drawPolygon(QPolygon({QPoint(8, 2), QPoint(14, 14), QPoint(2, 14)}));
        p.drawLine(8, 6, 8, 10);
        break;
    default:
        p.setPen(QPen(QColor(192, 0, 0), 3));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    }
    return QIcon(pixmap);
}

// A bold label in the window's font, coloured when a colour is given.
QLabel* boldLabel(const QString& text, QWidget* parent, const char* name, const char* color = nullptr)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont bold = parent->font();
    bold.setBold(true);
    label->setFont(bold);
    if (color)
        label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(color)));
    return label;
}

QString boxed(const QString& fileName)
{
    return QLatin1Char('[') + fileName + QLatin1Char(']');
}

} // namespace

TMinputF::TMinputF(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("MinputF"));
    setWindowTitle(QStringLiteral("모니터링설정관리"));
    setFont(gulimche(9));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    keepOpenOnEscape(this);

    buildTopBand();
    buildTitleStrip();
    buildEntryArea();
    buildGrid();

    m_panFile = boldLabel(QStringLiteral("[None]"), this, "PanFile", "navy");
    m_panFile->setGeometry(4, kHeight - 26, kWidth - 8, 22);
    m_panFile->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panFile->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panFile->setIndent(4);

    const auto edits = entryEdits();
    for (size_t i = 1; i < edits.size(); ++i)
        setTabOrder(edits[i - 1], edits[i]);
}

void TMinputF::buildTopBand()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, 0, kWidth, 40);

    boldLabel(QStringLiteral("모니터링 설정 관리"), panel, "Label1", "navy")->setGeometry(10, 10, 150, 20);

    struct Button {
        const char* name;
        const char* caption;
        void (TMinputF::*handler)();
    };
    const Button buttons[] = {{"butNew", "New", &TMinputF::butNewClick},
                              {"butOpen", "Open", &TMinputF::butOpenClick},
                              {"butSave", "Save", &TMinputF::butSaveClick},
                              {"butExit", "종료", &TMinputF::butExitClick}};
    int x = kWidth - 8 - 4 * 54;
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), panel);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setGeometry(x, 8, 52, 25);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, b.handler);
        x += 54;
        if (button->objectName() == QLatin1String("butSave"))
            m_butSave = button;
    }
    m_butSave->setEnabled(false);
}

QLineEdit* TMinputF::addEdit(QWidget* parent, const char* name, const QString& heading, int maxLength, int x, int y,
                             int width, bool noSeparator)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    // Its heading is a word in a label above it, which no screen reader can tie to it.
    edit->setAccessibleName(heading);
    edit->setGeometry(x, y, width, kEditHeight);
    edit->setValidator(new EntryValidator(edit, maxLength, noSeparator));
    edit->installEventFilter(this);
    return edit;
}

void TMinputF::buildTitleStrip()
{
    auto* band = new QFrame(this);
    band->setObjectName(QStringLiteral("Shape1"));
    band->setFrameStyle(QFrame::Box | QFrame::Plain);
    band->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 1px solid gray; background: #f4f4f4; }"));
    band->setGeometry(4, 44, kWidth - 8, 30);

    boldLabel(QStringLiteral("Title:"), this, "Label2")->setGeometry(10, 49, 44, kEditHeight);
    m_edtTitle = addEdit(this, "edtTitle", QStringLiteral("Title"), 20, 56, 49, 150, true);

    const QString samplingText = QStringLiteral("Sampling:       msec");
    auto* sampling = new QLabel(samplingText, this);
    sampling->setObjectName(QStringLiteral("Label3"));
    const QFontMetrics metrics(font());
    const int labelX = 216;
    sampling->setGeometry(labelX, 49, metrics.horizontalAdvance(samplingText) + 4, kEditHeight);
    // The sampling edit sits in the blank run of its label.
    const int gapStart = labelX + metrics.horizontalAdvance(QStringLiteral("Sampling:"));
    const int gapEnd = labelX + metrics.horizontalAdvance(samplingText.left(samplingText.indexOf(QLatin1String("msec"))));
    m_edtSam = addEdit(this, "edtSam", QStringLiteral("Sampling (msec)"), 5, gapStart + 2, 49, gapEnd - gapStart - 4);

    const QString yellow = QStringLiteral("QLineEdit { background: %1; }")
                               .arg(colorFromValue(kLightYellow).name());
    // Title and sampling belong to the set itself: typing in them is a change
    // to be saved (and asked about on closing), as adding a row is.
    for (QLineEdit* edit : {m_edtTitle, m_edtSam}) {
        edit->setStyleSheet(yellow);
        connect(edit, &QLineEdit::textEdited, m_butSave, [this] { m_butSave->setEnabled(true); });
    }
}

void TMinputF::buildEntryArea()
{
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(4, 78, kWidth - 8, 54);

    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int labelY = 83, editY = 102;

    // Each edit starts under its word of the heading and reaches to the next word.
    auto placeUnder = [&](const QString& heading, int labelX, const QStringList& words) {
        QList<int> starts;
        qsizetype from = 0;
        for (const QString& w : words) {
            from = heading.indexOf(w, from);
            starts << labelX + metrics.horizontalAdvance(heading.left(from));
            from += w.size();
        }
        starts << labelX + metrics.horizontalAdvance(heading) + 3 * metrics.horizontalAdvance(QLatin1Char('0'));
        return starts;
    };

    const QString left = QStringLiteral("Addr  Caption     Reg NO  Dot");
    boldLabel(left, this, "Label4", "maroon")->setGeometry(12, labelY, metrics.horizontalAdvance(left) + 4, 16);
    const QList<int> x = placeUnder(left, 12, {"Addr", "Caption", "Reg", "Dot"});
    m_edtAddr = addEdit(this, "edtAddr", QStringLiteral("Addr"), 2, x[0], editY, x[1] - x[0] - 3);
    m_edtCap = addEdit(this, "edtCap", QStringLiteral("Caption"), 10, x[1], editY, x[2] - x[1] - 3, true);
    m_edtReg = addEdit(this, "edtReg", QStringLiteral("Reg"), 4, x[2], editY, x[3] - x[2] - 3);
    m_edtDot = addEdit(this, "edtDot", QStringLiteral("Dot"), 1, x[3], editY, x[4] - x[3] - 3);

    const QString right = QStringLiteral("Max  ~  Min    Color");
    const int rightX = x[4] + 6;
    boldLabel(right, this, "Label5", "maroon")->setGeometry(rightX, labelY, metrics.horizontalAdvance(right) + 4, 16);
    const QList<int> y = placeUnder(right, rightX, {"Max", "Min", "Color"});
    m_edtMax = addEdit(this, "edtMax", QStringLiteral("Max"), 6, y[0], editY, y[1] - y[0] - 3);
    m_edtMin = addEdit(this, "edtMin", QStringLiteral("Min"), 6, y[1], editY, y[2] - y[1] - 3);

    m_shpCol = new QFrame(this);
    m_shpCol->setObjectName(QStringLiteral("shpCol"));
    m_shpCol->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_shpCol->setAutoFillBackground(true);
    m_shpCol->setGeometry(y[2], editY, y[3] - y[2], kEditHeight);
    setSwatch(kWhite);

    m_spbColor = new QToolButton(m_shpCol);
    m_spbColor->setObjectName(QStringLiteral("spbColor"));
    m_spbColor->setAutoRaise(true);
    m_spbColor->setGeometry(0, 0, m_shpCol->width(), m_shpCol->height());
    m_spbColor->setAccessibleName(QStringLiteral("Color 선택"));
    connect(m_spbColor, &QToolButton::clicked, this, &TMinputF::spbColorClick);

    const int buttonsX = kWidth - 8 - 3 * 64;
    addRowButton("spbAdd", QStringLiteral("추가"), GlyphAdd, buttonsX, &TMinputF::spbAddClick);
    m_spbEdt = addRowButton("spbEdt", QStringLiteral("수정"), GlyphEdit, buttonsX + 64, &TMinputF::spbEdtClick);
    m_spbDel = addRowButton("spbDel", QStringLiteral("삭제"), GlyphDelete, buttonsX + 128, &TMinputF::spbDelClick);
    m_spbAlarm = addRowButton("spbAlarm", QStringLiteral("경보"), GlyphAlarm, buttonsX - 64, &TMinputF::spbAlarmClick);
    m_spbEdt->setEnabled(false);
    m_spbDel->setEnabled(false);
    m_spbAlarm->setEnabled(false);
}

QToolButton* TMinputF::addRowButton(const char* name, const QString& caption, int kind, int x,
                                    void (TMinputF::*handler)())
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setToolTip(caption);
    button->setIcon(rowGlyph(kind));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    QFont bold = font();
    bold.setBold(true);
    button->setFont(bold);
    button->setStyleSheet(QStringLiteral("QToolButton { color: red; } QToolButton:disabled { color: gray; }"));
    button->setGeometry(x, 135, 62, 24);
    connect(button, &QToolButton::clicked, this, handler);
    return button;
}

void TMinputF::buildGrid()
{
    m_grid = new ColumnGrid(this);
    m_grid->setObjectName(QStringLiteral("acGrd1"));
    m_grid->setAccessibleName(QStringLiteral("채널 목록"));
    m_grid->setGeometry(4, 162, kWidth - 8, kHeight - 162 - 30);
    m_grid->setColumnCount(ColumnCount);
    m_grid->setRowCount(2);
    m_grid->setWholeRowSelect(true);
    const char* headers[] = {"NO", "Color", "Addr", "Caption", "Reg", "Dot", "Max", "Min", "V"};
    const int widths[] = {30, 42, 40, 82, 36, 27, 45, 45, 0};
    for (int c = 0; c < kSetColumns; ++c) {
        m_grid->setText(0, c, QString::fromLatin1(headers[c]));
        m_grid->setColumnWidth(c, widths[c]);
    }
    for (int c = ColV; c < ColumnCount; ++c)
        m_grid->setColumnHidden(c, true);
    m_grid->setDrawCell([this](QPainter& painter, const QRect& rect, int row, int col) {
        return acGrd1DrawCell(painter, rect, row, col);
    });
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, &TMinputF::acGrd1DblClickCell);
    m_grid->setCurrentCell(1, ColAddr);
}

void TMinputF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TMinputF::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Rejected);
}

void TMinputF::reject()
{
    close();
}

bool TMinputF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const auto path = entryEdits();
            for (size_t i = 0; i < path.size(); ++i) {
                if (watched != path[i])
                    continue;
                if (i + 1 < path.size())
                    path[i + 1]->setFocus();
                else
                    m_spbColor->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TMinputF::FormShow()
{
    const QString caption = m_panFile->text();
    const QString name = caption.mid(1, caption.size() - 2);
    if (name != QLatin1String("None") && !name.isEmpty()) {
        ClearGrid();
        LoadSetFile(name);
    } else {
        butNewClick();
    }
}

bool TMinputF::FormCloseQuery()
{
    if (!m_butSave->isEnabled())
        return true;
    return m_context.dialogs.MsgBox(this, QStringLiteral("정말 종료하시겠습니까?"), QStringLiteral("확인"),
                                    MsgStyle::YesNoQuestion) == MsgResult::Yes;
}

void TMinputF::ClearGrid()
{
    m_grid->clearRows(1);
    m_grid->setRowCount(2);
    m_grid->setCurrentCell(1, ColAddr);
}

void TMinputF::RenumberRows()
{
    for (int r = 1; r < m_grid->rowCount(); ++r)
        m_grid->setText(r, ColNo, QString::number(r));
}

bool TMinputF::rowInUse(int row) const
{
    return !m_grid->text(row, ColNo).isEmpty();
}

int TMinputF::lastRow() const
{
    return m_grid->rowCount() - 1;
}

int TMinputF::selectedRow() const
{
    // The header row is never a target; the grid always has a channel row.
    return std::clamp(m_grid->currentRow(), 1, lastRow());
}

void TMinputF::setSwatch(int color)
{
    m_swatch = color;
    QPalette palette = m_shpCol->palette();
    palette.setColor(QPalette::Window, colorFromValue(color));
    m_shpCol->setPalette(palette);
}

void TMinputF::setPanFile(const QString& fileName)
{
    m_panFile->setText(boxed(fileName));
}

void TMinputF::butNewClick()
{
    ClearGrid();
    m_openName.clear();
    m_saveName.clear();
    m_handBack.clear();
    for (QLineEdit* edit : entryEdits())
        edit->clear();
    setSwatch(kWhite);
    m_butSave->setEnabled(false);
    m_spbAlarm->setEnabled(false);
    m_alarmFileUnread = false;
    m_alarmsEdited = false;
    m_panFile->setText(QStringLiteral("[None]"));
    m_edtTitle->setFocus();
}

void TMinputF::butOpenClick()
{
    const QString name =
        m_context.dialogs.openFileName(this, {QStringLiteral("설정파일|*.khd"), MonitorDir(), m_openName});
    if (name.isEmpty())
        return;
    m_openName = name;
    LoadSetFile(name);
}

void TMinputF::LoadSetFile(const QString& fileName)
{
    // Read before clearing: a file that cannot be read leaves the set on screen.
    const ChannelSet set = readChannelSetFile(fileName);
    // The alarm limits live beside the set; one that cannot be read is said
    // and left alone on disk until the operator changes limits and saves.
    const AlarmFileRead alarms = readAlarmFile(alarmFilePath(fileName), set);
    ClearGrid();
    m_edtTitle->setText(set.Title);
    m_edtSam->setText(set.Sampling);
    // The cleared grid has one empty row under the titles; the channels take
    // it and the rows after, made in one step (row by row is slow for big sets).
    if (!set.channels.isEmpty())
        m_grid->setRowCount(1 + int(set.channels.size()));
    int row = 0;
    for (const ChannelDef& c : set.channels) {
        ++row;
        m_grid->setText(row, ColNo, QString::number(row));
        const QString fields[] = {c.Addr, c.Caption, c.Reg, c.Dot, c.Max, c.Min, c.Color};
        for (int i = 0; i < 7; ++i)
            m_grid->setText(row, ColAddr + i, fields[i]);
        setAlarmDef(row, alarms.settings.channels.value(row - 1));
    }
    setPanFile(fileName);
    m_butSave->setEnabled(false);
    m_spbEdt->setEnabled(true);
    m_spbDel->setEnabled(true);
    m_spbAlarm->setEnabled(true);
    m_alarmFileUnread = !alarms.problem.isEmpty();
    m_alarmsEdited = false;
    if (m_alarmFileUnread)
        m_context.dialogs.MsgBox(this,
                                 alarms.problem + QStringLiteral("\n이 채널 세트는 경보 한계값 없이 열었습니다. "
                                                                 "경보를 고쳐 저장하기 전에는 경보 파일을 바꾸지 않습니다."),
                                 applicationTitle(), MsgStyle::Ok);
    m_saveName = m_openName;
    m_handBack = m_openName;
}

void TMinputF::spbColorClick()
{
    const std::optional<int> chosen = m_context.dialogs.color(this, m_dialogColor);
    if (!chosen)
        return;
    m_dialogColor = *chosen;
    setSwatch(*chosen);
}

void TMinputF::writeEntryInto(int row)
{
    m_grid->setText(row, ColAddr, PadLeft(m_edtAddr->text(), QStringLiteral("0"), 2));
    m_grid->setText(row, ColCaption, m_edtCap->text());
    m_grid->setText(row, ColReg, PadLeft(m_edtReg->text(), QStringLiteral("0"), 4));
    m_grid->setText(row, ColDot, m_edtDot->text());
    m_grid->setText(row, ColMax, m_edtMax->text());
    m_grid->setText(row, ColMin, m_edtMin->text());
    m_grid->setText(row, ColV, QString::number(m_swatch));
}

void TMinputF::spbAddClick()
{
    m_butSave->setEnabled(true);
    if (rowInUse(lastRow()))
        m_grid->setRowCount(m_grid->rowCount() + 1);
    const int row = lastRow();
    m_grid->setText(row, ColNo, QString::number(row));
    writeEntryInto(row);
    m_spbDel->setEnabled(true);
    m_spbEdt->setEnabled(true);
    m_spbAlarm->setEnabled(true);
}

void TMinputF::spbEdtClick()
{
    m_butSave->setEnabled(true);
    writeEntryInto(selectedRow());
    m_grid->viewport()->update();
}

void TMinputF::spbDelClick()
{
    m_butSave->setEnabled(true);
    if (m_grid->rowCount() <= 2) {
        for (int c = 0; c < ColumnCount; ++c)
            m_grid->setText(1, c, QString());
    } else {
        const int row = selectedRow();
        m_grid->removeRow(row);
        RenumberRows();
        m_grid->setCurrentCell(std::min(row, lastRow()), ColAddr);
    }
    const bool inUse = rowInUse(lastRow());
    m_spbDel->setEnabled(inUse);
    m_spbEdt->setEnabled(inUse);
    m_spbAlarm->setEnabled(inUse);
}

void TMinputF::acGrd1DblClickCell(int row, int col)
{
    if (row < 1 || m_grid->text(row, col).isEmpty())
        return;
    setSwatch(StrToInt(m_grid->text(row, ColV)));
    m_edtAddr->setText(m_grid->text(row, ColAddr));
    m_edtCap->setText(m_grid->text(row, ColCaption));
    m_edtReg->setText(m_grid->text(row, ColReg));
    m_edtDot->setText(m_grid->text(row, ColDot));
    m_edtMax->setText(m_grid->text(row, ColMax));
    m_edtMin->setText(m_grid->text(row, ColMin));
}

bool TMinputF::acGrd1DrawCell(QPainter& painter, const QRect& rect, int row, int col)
{
    if (col != ColColor || row < 1 || !rowInUse(row))
        return false;
    const std::optional<int> value = parseInt32(m_grid->text(row, ColV));
    painter.fillRect(rect, value ? colorFromValue(*value) : m_grid->palette().color(QPalette::Base));
    return true;
}

void TMinputF::butSaveClick()
{
    if (m_context.dialogs.MsgBox(this, QStringLiteral("저장하시겠습니까?"), QStringLiteral("확인"),
                                 MsgStyle::YesNoQuestion) != MsgResult::Yes)
        return;
    // Replacing an existing file asks nothing: the question above covers it.
    const QString name = m_context.dialogs.saveFileName(
        this, {QStringLiteral("설정파일|*.khd|모든파일|*.*"), MonitorDir(), m_saveName, false});
    if (name.isEmpty())
        return;
    m_saveName = name;
    const int code = SaveSetFile();
    if (code == 0)
        return;
    static const QHash<int, QString> messages = {
        {1, QStringLiteral("Sampling 입력값 불량")}, {2, QStringLiteral("Addr 입력값 불량")},
        {4, QStringLiteral("Reg 입력값 불량")},      {5, QStringLiteral("Dot 입력값 불량")},
        {6, QStringLiteral("Max 입력값 불량")},      {7, QStringLiteral("Min 입력값 불량")},
        {8, QStringLiteral("색상값 불량")}};
    m_context.dialogs.MsgBox(this, messages.value(code), applicationTitle(), MsgStyle::Ok);
}

ChannelSet TMinputF::setFromWindow() const
{
    ChannelSet set{m_edtTitle->text(), m_edtSam->text(), {}};
    for (int r = 1; r < m_grid->rowCount(); ++r) {
        set.channels.append({m_grid->text(r, ColAddr), m_grid->text(r, ColCaption), m_grid->text(r, ColReg),
                             m_grid->text(r, ColDot), m_grid->text(r, ColMax), m_grid->text(r, ColMin),
                             m_grid->text(r, ColV)});
    }
    return set;
}

int TMinputF::SaveSetFile()
{
    if (m_edtSam->text().trimmed().isEmpty())
        m_edtSam->setText(QStringLiteral("1000"));
    const ChannelSet set = setFromWindow();
    if (!parseInt32(set.Sampling))
        return 1;
    // Codes are the grid columns of the fields, checked row by row.
    for (const ChannelDef& c : set.channels) {
        const std::pair<int, const QString*> checks[] = {{ColAddr, &c.Addr}, {ColReg, &c.Reg}, {ColDot, &c.Dot},
                                                         {ColMax, &c.Max},   {ColMin, &c.Min}, {ColV, &c.Color}};
        for (const auto& [code, text] : checks) {
            if (!parseInt32(*text))
                return code;
        }
    }
    const QString fileName = withExtension(m_saveName, QStringLiteral(".khd"));
    m_saveName = fileName;
    writeChannelSetFile(fileName, set);
    m_handBack = fileName;
    setPanFile(fileName);
    saveAlarmFile(fileName, set);
    return 0;
}

// Saving the set saves its limits beside it, unless the alarm file could not
// be read and no limit was touched since: that file is the operator's to mend.
void TMinputF::saveAlarmFile(const QString& setPath, const ChannelSet& set)
{
    if (m_alarmFileUnread && !m_alarmsEdited)
        return;
    try {
        writeAlarmFile(alarmFilePath(setPath), alarmSettings(), set);
        m_alarmFileUnread = false;
        m_alarmsEdited = false;
    } catch (const KeloError& error) {
        m_context.dialogs.MsgBox(this, error.text(), applicationTitle(), MsgStyle::Ok);
    }
}

AlarmSettings TMinputF::alarmSettings() const
{
    AlarmSettings settings;
    bool any = false;
    for (int r = 1; r < m_grid->rowCount(); ++r) {
        settings.channels.append(alarmDef(r));
        any = any || settings.channels.last().any();
    }
    if (!any)
        settings.channels.clear();
    return settings;
}

ChannelAlarmDef TMinputF::alarmDef(int row) const
{
    ChannelAlarmDef def;
    bool ok = true;
    def.high = parseLimit(m_grid->text(row, ColHigh), &ok);
    def.low = parseLimit(m_grid->text(row, ColLow), &ok);
    def.hysteresis = parseLimit(m_grid->text(row, ColHysteresis), &ok).value_or(0);
    def.onDelaySeconds = m_grid->text(row, ColDelay).toInt();
    def.priority = m_grid->text(row, ColPriority) == QLatin1String("1") ? AlarmPriority::Warning : AlarmPriority::Alarm;
    return def;
}

// Rows with limits show their caption in the priority's colour, and the
// limits in its tip.
void TMinputF::setAlarmDef(int row, const ChannelAlarmDef& def)
{
    m_grid->setText(row, ColHigh, limitText(def.high));
    m_grid->setText(row, ColLow, limitText(def.low));
    m_grid->setText(row, ColHysteresis, def.any() ? numberText(def.hysteresis) : QString());
    m_grid->setText(row, ColDelay, def.any() ? QString::number(def.onDelaySeconds) : QString());
    m_grid->setText(row, ColPriority, def.any() && def.priority == AlarmPriority::Warning ? QStringLiteral("1") : QString());
    m_grid->setText(row, ColCaption, m_grid->text(row, ColCaption)); // the cell exists for its colour and tip
    m_grid->setTextColor(row, ColCaption, def.any() ? priorityColor(def.priority).darker(130) : QColor());
    if (QTableWidgetItem* item = m_grid->item(row, ColCaption)) {
        const QString none = QStringLiteral("없음");
        item->setToolTip(def.any() ? QStringLiteral("%1 상한 %2, 하한 %3, 히스테리시스 %4, 지연 %5초")
                                         .arg(priorityWord(def.priority), def.high ? limitText(def.high) : none,
                                              def.low ? limitText(def.low) : none, numberText(def.hysteresis))
                                         .arg(def.onDelaySeconds)
                                   : QString());
    }
}

void TMinputF::spbAlarmClick()
{
    const int row = selectedRow();
    if (!rowInUse(row))
        return;
    const QString caption = m_grid->text(row, ColCaption);
    auto* dialog = new AlarmDefDialog(QStringLiteral("%1번 %2").arg(row).arg(caption), alarmDef(row), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Opened without a nested event loop; its answer is taken when it closes.
    connect(dialog, &QDialog::accepted, this, [this, dialog, row] {
        if (row > lastRow() || !rowInUse(row) || alarmDef(row) == dialog->def())
            return;
        setAlarmDef(row, dialog->def());
        m_alarmsEdited = true;
        m_butSave->setEnabled(true);
    });
    dialog->open();
}

void TMinputF::butExitClick()
{
    close();
}
