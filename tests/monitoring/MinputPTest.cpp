#include "monitoring/MinputP.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ShownImage.h"
#include "widgets/AppContext.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/ColumnGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

// Readable failure output for texts.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct Entry {
    const char* addr;
    const char* cap;
    const char* reg;
    const char* dot;
    const char* max;
    const char* min;
};

struct EditorFixture : ::testing::Test {
    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    TMinputF w{context};

    void SetUp() override { QDir().mkpath(MonitorDir()); }

    QString monitorFile(const QString& name) const { return MonitorDir() + QLatin1Char('/') + name; }
    QLineEdit* edit(const char* name) { return w.findChild<QLineEdit*>(name); }
    ColumnGrid* grid() { return w.findChild<ColumnGrid*>("acGrd1"); }
    QString panFile() { return w.findChild<QLabel*>("PanFile")->text(); }
    QColor swatch() { return w.findChild<QFrame*>("shpCol")->palette().color(QPalette::Window); }

    // Enabled states of "Save", "수정" and "삭제", as "SED" with "-" for disabled.
    QString states()
    {
        QString s;
        s += w.findChild<QPushButton*>("butSave")->isEnabled() ? 'S' : '-';
        s += w.findChild<QToolButton*>("spbEdt")->isEnabled() ? 'E' : '-';
        s += w.findChild<QToolButton*>("spbDel")->isEnabled() ? 'D' : '-';
        return s;
    }

    // Every message box shown, as "text/caption/style".
    QStringList asked()
    {
        QStringList out;
        for (const auto& m : dialogs.messages)
            out << m.text + "/" + m.caption + "/" + QString::number(m.style);
        return out;
    }

    // Every channel row as its nine cells joined by "|".
    QStringList rows()
    {
        QStringList out;
        for (int r = 1; r < grid()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < 9; ++c)
                cells << grid()->text(r, c);
            out << cells.join('|');
        }
        return out;
    }

    void fillEntry(const Entry& e)
    {
        edit("edtAddr")->setText(QString::fromUtf8(e.addr));
        edit("edtCap")->setText(QString::fromUtf8(e.cap));
        edit("edtReg")->setText(QString::fromUtf8(e.reg));
        edit("edtDot")->setText(QString::fromUtf8(e.dot));
        edit("edtMax")->setText(QString::fromUtf8(e.max));
        edit("edtMin")->setText(QString::fromUtf8(e.min));
    }

    void add(const Entry& e, std::optional<int> color = std::nullopt)
    {
        fillEntry(e);
        if (color) {
            dialogs.colors.push_back(color);
            w.findChild<QToolButton*>("spbColor")->click();
        }
        w.findChild<QToolButton*>("spbAdd")->click();
    }

    void open(const QString& path)
    {
        dialogs.openNames.push_back(path);
        w.butOpenClick();
    }

    void save(const QString& chosenName)
    {
        dialogs.answers.push_back(MsgResult::Yes);
        dialogs.saveNames.push_back(chosenName);
        w.butSaveClick();
    }
};

} // namespace

TEST_F(EditorFixture, WindowShowsItsCaptionsHeadingsAndAnEmptySet)
{
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("모니터링설정관리"));
    EXPECT_EQ(states(), "---");
    w.show();
    const std::pair<const char*, const char*> texts[] = {
        {"Label1", "모니터링 설정 관리"}, {"Label2", "Title:"}, {"Label3", "Sampling:       msec"},
        {"Label4", "Addr  Caption     Reg NO  Dot"}, {"Label5", "Max  ~  Min    Color"}, {"PanFile", "[None]"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(w.findChild<QLabel*>(name)->text(), QString::fromUtf8(text)) << name;
    QStringList buttons;
    for (auto* b : w.findChildren<QAbstractButton*>(QRegularExpression("^(but|spb)")))
        buttons << b->objectName() + "=" + b->text() + "/" + b->toolTip();
    EXPECT_EQ(buttons.join(','), QString::fromUtf8("butNew=New/,butOpen=Open/,butSave=Save/,butExit=종료/,"
                                                   "spbColor=/,spbAdd=추가/추가,spbEdt=수정/수정,spbDel=삭제/삭제,"
                                                   "spbAlarm=경보/경보"));

    QStringList headings;
    for (int c = 0; c < 9; ++c)
        headings << grid()->text(0, c) + (c > 0 && grid()->isColumnHidden(c) ? "(hidden)" : "");
    EXPECT_EQ(headings.join(','), "NO,Color,Addr,Caption,Reg,Dot,Max,Min,V(hidden)");
    EXPECT_EQ(rows(), QStringList{"||||||||"});
    EXPECT_EQ(swatch(), QColor(Qt::white));
    EXPECT_EQ(w.focusWidget(), edit("edtTitle"));
    EXPECT_EQ(edit("edtTitle")->palette().color(QPalette::Base), QColor(255, 255, 128));
}

TEST_F(EditorFixture, SetBuiltFromNothingIsSavedAsCrLfLinesInCodePage949)
{
    w.show();
    edit("edtTitle")->setText(QString::fromUtf8("가열로 A"));
    edit("edtSam")->setText("500");
    add({" 1 ", "온도 구역", "1", "1", "1200", "-100"}, 255);
    add({"12", "Zone 2", "12345", "0", "100", "0"}, 16711680);
    EXPECT_EQ(swatch(), QColor(0, 0, 255));
    EXPECT_EQ(dialogs.colorRequests, (std::vector<int>{0, 255}));  // black first, then the last choice
    EXPECT_EQ(rows(), (QStringList{QString::fromUtf8("1||01|온도 구역|0001|1|1200|-100|255"),
                                   "2||12|Zone 2|12345|0|100|0|16711680"}));

    save(monitorFile("furnace"));
    const QString path = monitorFile("furnace.khd");
    EXPECT_EQ(readBytes(path), QByteArray("\xb0\xa1\xbf\xad\xb7\xce" " A;500\r\n"
                                          "01;\xbf\xc2\xb5\xb5 \xb1\xb8\xbf\xaa;0001;1;1200;-100;255\r\n"
                                          "12;Zone 2;12345;0;100;0;16711680\r\n"));
    EXPECT_EQ(asked(), QStringList{QString::fromUtf8("저장하시겠습니까?/확인/36")});
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].filter, QString::fromUtf8("설정파일|*.khd|모든파일|*.*"));
    EXPECT_EQ(dialogs.saveRequests[0].startDir, MonitorDir());
    EXPECT_FALSE(dialogs.saveRequests[0].confirmOverwrite);
    EXPECT_EQ(panFile(), "[" + path + "]");
    EXPECT_EQ(w.SaveDialogFileName(), path);
    EXPECT_EQ(states(), "SED");  // a save leaves "Save" enabled

    // Saved again over the same file, without a question about replacing it.
    edit("edtSam")->setText("250");
    save(path);
    EXPECT_TRUE(readBytes(path).startsWith("\xb0\xa1\xbf\xad\xb7\xce" " A;250\r\n01;"));
    EXPECT_EQ(dialogs.saveRequests[1].proposedName, path);
}

TEST_F(EditorFixture, ChosenNameGetsKhdUnlessItEndsInLowerCaseKhd)
{
    const std::pair<const char*, const char*> cases[] = {
        {"SET.khd", "SET.khd"}, {"SET.KHD", "SET.KHD.khd"}, {"SET", "SET.khd"}, {"x.KHD", "x.KHD.khd"}};
    w.show();
    add({"1", "a", "1", "0", "100", "0"});
    for (const auto& [chosen, written] : cases) {
        save(monitorFile(chosen));
        EXPECT_EQ(readBytes(monitorFile(written)), QByteArray(";1000\r\n01;a;0001;0;100;0;16777215\r\n")) << chosen;
        EXPECT_EQ(w.SaveDialogFileName(), monitorFile(written));
    }
    EXPECT_EQ(QDir(MonitorDir()).entryList(QDir::Files).size(), 3);  // SET.khd, SET.KHD.khd, x.KHD.khd
}

TEST_F(EditorFixture, SaveRefusalsNameTheFirstBadFieldAndWriteNothing)
{
    struct Case {
        const char* file;      // set opened first; nullptr builds one in the entry area
        const char* sampling;  // put into the sampling edit before saving; nullptr keeps it
        bool addEmptyChannel;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, nullptr, false, "Addr 입력값 불량"},  // the single free row has an empty Addr
        {nullptr, nullptr, true, "Dot 입력값 불량"},    // Addr 00 and Reg 0000 pass, Dot is empty
        {"T;1000\r\n01;a;0001;1;10;0;255\r\n", "abc", false, "Sampling 입력값 불량"},
        {"T;abc\r\nxx;a;yy;1;10;0;255\r\n", nullptr, false, "Sampling 입력값 불량"},
        {"T;1000\r\n01;a;0001;1;10;0;255\r\n0x;a;0001;1;10;0;255\r\n", nullptr, false, "Addr 입력값 불량"},
        {"T;1000\r\n01;a;12.5;1;10;0;255\r\n", nullptr, false, "Reg 입력값 불량"},
        {"T;1000\r\n01;a;0001;+;10;0;255\r\n", nullptr, false, "Dot 입력값 불량"},
        {"T;1000\r\n01;a;0001;1;1.5;0;255\r\n", nullptr, false, "Max 입력값 불량"},
        {"T;1000\r\n01;a;0001;1;10;- 1;255\r\n", nullptr, false, "Min 입력값 불량"},
        {"T;1000\r\n01;a;0001;1;10;0;red\r\n", nullptr, false, "색상값 불량"},
        // Row by row: row 1's Min is found before row 2's Addr.
        {"T;1000\r\n01;a;0001;1;10;x;255\r\nzz;a;0001;1;10;0;255\r\n", nullptr, false, "Min 입력값 불량"},
        {"T;99999999999\r\n01;a;0001;1;10;0;255\r\n", nullptr, false, "Sampling 입력값 불량"},
    };
    for (const Case& c : cases) {
        TMinputF editor(context);
        dialogs.clear();
        editor.show();
        QString opened;
        if (c.file) {
            opened = monitorFile("in.khd");
            writeBytes(opened, c.file);
            dialogs.openNames.push_back(opened);
            editor.butOpenClick();
        } else if (c.addEmptyChannel) {
            editor.spbAddClick();
        }
        if (c.sampling)
            editor.findChild<QLineEdit*>("edtSam")->setText(c.sampling);
        const QString panBefore = editor.findChild<QLabel*>("PanFile")->text();
        dialogs.answers.push_back(MsgResult::Yes);
        dialogs.saveNames.push_back(monitorFile("out"));
        editor.butSaveClick();

        EXPECT_EQ(asked(), (QStringList{QString::fromUtf8("저장하시겠습니까?/확인/36"),
                                        QString::fromUtf8(c.message) + "/" + applicationTitle() + "/0"}));
        EXPECT_FALSE(QFile::exists(monitorFile("out.khd")) || QFile::exists(monitorFile("out"))) << c.message;
        EXPECT_EQ(editor.findChild<QLabel*>("PanFile")->text(), panBefore);
        EXPECT_EQ(editor.SaveDialogFileName(), opened) << "a refused save hands back nothing new";
        if (!c.file) {  // left blank, the sampling edit shows what would have been saved
            EXPECT_EQ(editor.findChild<QLineEdit*>("edtSam")->text(), "1000");
        }
    }
}

TEST_F(EditorFixture, BlankSamplingIsSavedAsThousandAndShownSo)
{
    w.show();  // PanFile "[None]": a new set with an empty sampling edit
    EXPECT_EQ(edit("edtSam")->text(), "");
    add({"3", "", "40", "0", "5", "-5"});
    edit("edtSam")->setText("   ");
    save(monitorFile("s.khd"));
    EXPECT_EQ(readBytes(monitorFile("s.khd")), QByteArray(";1000\r\n03;;0040;0;5;-5;16777215\r\n"));
    EXPECT_EQ(edit("edtSam")->text(), "1000");
}

TEST_F(EditorFixture, SaveStopsAtNoOrCancel)
{
    w.show();
    add({"1", "a", "1", "0", "1", "0"});
    dialogs.answers.push_back(MsgResult::No);
    w.butSaveClick();
    EXPECT_TRUE(dialogs.saveRequests.empty());
    save("");  // Yes, then cancel in the save dialog
    EXPECT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_TRUE(QDir(MonitorDir()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(panFile(), "[None]");
    EXPECT_EQ(w.SaveDialogFileName(), "");
    EXPECT_EQ(dialogs.messages.size(), 2u);  // the two questions, no notice
}

TEST_F(EditorFixture, OpenFillsTheGridAsTheFileHoldsIt)
{
    const QString path = monitorFile("in.khd");
    writeBytes(path, "Furnace line title 25 ch;750\r\n1;Zone;1\r\n\r\n02;\xb1\xb8\xbf\xaa;0002;1;1200;-100;65280\n");
    open(path);
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].filter, QString::fromUtf8("설정파일|*.khd"));
    EXPECT_EQ(dialogs.openRequests[0].startDir, MonitorDir());
    EXPECT_EQ(edit("edtTitle")->text(), "Furnace line title 25 ch");  // longer than can be typed, kept whole
    EXPECT_EQ(edit("edtSam")->text(), "750");
    // No left fill on loading; a short line repeats its last field; a blank line is a channel.
    EXPECT_EQ(rows(), (QStringList{"1||1|Zone|1|1|1|1|1", "2||||||||", QString::fromUtf8("3||02|구역|0002|1|1200|-100|65280")}));
    EXPECT_EQ(panFile(), "[" + path + "]");
    EXPECT_EQ(states(), "-ED");
    EXPECT_EQ(w.SaveDialogFileName(), path);

    // A set without channels shows one free row; "수정" and "삭제" are enabled all the same.
    writeBytes(path, "Only title;100\r\n");
    open(path);
    EXPECT_EQ(rows(), QStringList{"||||||||"});
    EXPECT_EQ(states(), "-ED");

    // Cancelling the open dialog changes nothing.
    dialogs.openNames.push_back("");
    w.butOpenClick();
    EXPECT_EQ(edit("edtTitle")->text(), "Only title");
}

TEST_F(EditorFixture, FileThatCannotBeOpenedLeavesTheSetOnScreen)
{
    w.show();
    add({"1", "kept", "1", "0", "1", "0"});
    dialogs.openNames.push_back(monitorFile("gone.khd"));
    EXPECT_THROW(w.butOpenClick(), KeloError);
    EXPECT_EQ(rows(), QStringList{"1||01|kept|0001|0|1|0|16777215"});
    EXPECT_EQ(panFile(), "[None]");
    EXPECT_EQ(states(), "SED");
    EXPECT_EQ(w.SaveDialogFileName(), "");
}

TEST_F(EditorFixture, CallerGetsOnlyFilesThatWereOpenedOrSaved)
{
    const QString a = monitorFile("a.khd");
    writeBytes(a, "A;1000\r\n01;x;0001;0;10;0;255\r\n");

    // Opened through PanFile by the caller: nothing is handed back, nothing is proposed.
    w.findChild<QLabel*>("PanFile")->setText("[" + a + "]");
    w.show();
    EXPECT_EQ(rows(), QStringList{"1||01|x|0001|0|10|0|255"});
    EXPECT_EQ(w.SaveDialogFileName(), "");
    edit("edtSam")->setText("abc");
    save(monitorFile("b"));
    EXPECT_EQ(dialogs.saveRequests.back().proposedName, "");
    EXPECT_EQ(w.SaveDialogFileName(), "") << "a refused save must not hand back the chosen name";

    open(a);
    EXPECT_EQ(w.SaveDialogFileName(), a);
    edit("edtSam")->setText("abc");
    save(monitorFile("b"));
    EXPECT_EQ(w.SaveDialogFileName(), a);
    EXPECT_FALSE(QFile::exists(monitorFile("b.khd")));

    // The refused name is proposed again; saved, it is handed back with ".khd".
    edit("edtSam")->setText("100");
    save(monitorFile("b"));
    EXPECT_EQ(dialogs.saveRequests.back().proposedName, monitorFile("b"));
    EXPECT_EQ(w.SaveDialogFileName(), monitorFile("b.khd"));

    // A file that cannot be written is reported and hands back nothing new.
    dialogs.answers.push_back(MsgResult::Yes);
    dialogs.saveNames.push_back(monitorFile("no/such/folder/c"));
    EXPECT_THROW(w.butSaveClick(), KeloError);
    EXPECT_EQ(w.SaveDialogFileName(), monitorFile("b.khd"));
    EXPECT_EQ(panFile(), "[" + monitorFile("b.khd") + "]");

    w.butNewClick();
    EXPECT_EQ(w.SaveDialogFileName(), "");
    EXPECT_EQ(panFile(), "[None]");
}

TEST_F(EditorFixture, TitleAndCaptionTakeNoSeparatorTypedOrPasted)
{
    w.show();
    QTest::keyClicks(edit("edtTitle"), "Line;A");
    QTest::keyClicks(edit("edtCap"), "Z;1");
    EXPECT_EQ(edit("edtTitle")->text(), "LineA");
    EXPECT_EQ(edit("edtCap")->text(), "Z1");
    QApplication::clipboard()->setText(";x;\n");
    edit("edtCap")->paste();
    edit("edtTitle")->paste();
    EXPECT_EQ(edit("edtCap")->text(), "Z1x");
    EXPECT_EQ(edit("edtTitle")->text(), "LineAx");

    // The other edits filter nothing: a ";" there fails the save's check instead.
    QTest::keyClicks(edit("edtDot"), ";");
    EXPECT_EQ(edit("edtDot")->text(), ";");
    edit("edtDot")->clear();
    QTest::keyClicks(edit("edtDot"), "2");
    edit("edtSam")->setText("10");
    add({"1", "Z1x", "1", "2", "1", "0"});
    save(monitorFile("sep.khd"));
    EXPECT_EQ(readBytes(monitorFile("sep.khd")), QByteArray("LineAx;10\r\n01;Z1x;0001;2;1;0;16777215\r\n"));
}

TEST_F(EditorFixture, EditsStopAtTheirLengths)
{
    const std::pair<const char*, int> limits[] = {{"edtTitle", 20}, {"edtSam", 5}, {"edtAddr", 2}, {"edtCap", 10},
                                                  {"edtReg", 4},    {"edtDot", 1}, {"edtMax", 6},  {"edtMin", 6}};
    w.show();
    for (const auto& [name, limit] : limits) {
        QTest::keyClicks(edit(name), QString(30, '7'));
        EXPECT_EQ(edit(name)->text(), QString(limit, '7')) << name;
    }
}

TEST_F(EditorFixture, EnabledStatesFollowTheEditingSteps)
{
    const QString path = monitorFile("two.khd");
    writeBytes(path, "T;1000\r\n01;a;0001;0;10;0;255\r\n02;b;0002;0;10;0;255\r\n");
    w.show();
    EXPECT_EQ(states(), "---");
    add({"1", "a", "1", "0", "1", "0"});
    EXPECT_EQ(states(), "SED");
    add({"2", "b", "2", "0", "1", "0"});
    w.spbDelClick();  // two rows: the selected first one goes
    EXPECT_EQ(rows(), QStringList{"1||02|b|0002|0|1|0|16777215"});
    EXPECT_EQ(states(), "SED");
    w.spbDelClick();  // the only channel: an empty row remains
    EXPECT_EQ(rows(), QStringList{"||||||||"});
    EXPECT_EQ(states(), "S--");
    w.spbEdtClick();
    EXPECT_EQ(states(), "S--");
    w.butNewClick();
    EXPECT_EQ(states(), "---");
    open(path);
    EXPECT_EQ(states(), "-ED");
    // A typed title or sampling is a change to the set: it can be saved and is asked about.
    QTest::keyClicks(edit("edtSam"), "5");
    EXPECT_EQ(states(), "SED");
    EXPECT_FALSE(w.FormCloseQuery());
    w.butNewClick();
    EXPECT_EQ(states(), "-ED");
    QTest::keyClicks(edit("edtTitle"), "x");
    EXPECT_EQ(states(), "SED");
    w.butNewClick();

    // "수정" after "New" writes into the free row without a number; "추가" then takes that row.
    fillEntry({"5", "e", "5", "1", "9", "1"});
    w.spbEdtClick();
    EXPECT_EQ(rows(), QStringList{"||05|e|0005|1|9|1|16777215"});
    EXPECT_EQ(states(), "SED");
    fillEntry({"6", "f", "6", "1", "9", "1"});
    w.spbAddClick();
    EXPECT_EQ(rows(), QStringList{"1||06|f|0006|1|9|1|16777215"});
}

TEST_F(EditorFixture, EditAndDeleteWorkOnTheSelectedRow)
{
    w.show();
    add({"1", "A", "1", "0", "1", "0"});
    add({"2", "B", "2", "0", "1", "0"});
    add({"3", "C", "3", "0", "1", "0"});
    grid()->setCurrentCell(2, 3);
    fillEntry({"22", "BB", "2222", "1", "100", "-1"});
    w.spbEdtClick();
    EXPECT_EQ(rows()[1], "2||22|BB|2222|1|100|-1|16777215");
    w.spbDelClick();
    EXPECT_EQ(rows(), (QStringList{"1||01|A|0001|0|1|0|16777215", "2||03|C|0003|0|1|0|16777215"}));
    EXPECT_EQ(states(), "SED");
    // Adding does not move the selection to the new row.
    grid()->setCurrentCell(1, 2);
    add({"4", "D", "4", "0", "1", "0"});
    EXPECT_EQ(grid()->currentRow(), 1);
}

TEST_F(EditorFixture, DoubleClickCopiesARowIntoTheEntryArea)
{
    const QString path = monitorFile("dbl.khd");
    writeBytes(path, "T;1000\r\n01;a;0001;0;10;0;255\r\n7;long cap text;12345;3;-20;-30;16711680\r\n02;x;0002;0;1;0;red\r\n");
    open(path);
    w.show();
    const QRect cell = grid()->visualItemRect(grid()->item(2, 3));
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    const char* names[] = {"edtAddr", "edtCap", "edtReg", "edtDot", "edtMax", "edtMin"};
    QStringList texts;
    for (const char* n : names)
        texts << edit(n)->text();
    EXPECT_EQ(texts.join('|'), "7|long cap text|12345|3|-20|-30");  // copied whole, without left fill
    EXPECT_EQ(swatch(), QColor(0, 0, 255));

    for (const char* n : names)
        edit(n)->clear();
    w.acGrd1DblClickCell(1, 1);  // the Color column holds no text
    w.acGrd1DblClickCell(0, 2);  // the header row
    EXPECT_EQ(edit("edtAddr")->text(), "");
    try {
        w.acGrd1DblClickCell(3, 2);
        ADD_FAILURE() << "a V cell that is no number must be reported";
    } catch (const KeloError& e) {
        EXPECT_EQ(e.text(), "'red' is not a valid integer value");
    }
    EXPECT_EQ(edit("edtAddr")->text(), "");
    EXPECT_EQ(swatch(), QColor(0, 0, 255));
}

TEST_F(EditorFixture, ColorColumnIsPaintedFromTheHiddenValue)
{
    const QString path = monitorFile("col.khd");
    writeBytes(path, "T;1000\r\n01;a;0001;0;10;0;255\r\n02;b;0001;0;10;0;65280\r\n03;c;0001;0;10;0;bad\r\n");
    open(path);
    w.show();
    const QImage image = grid()->viewport()->grab().toImage();
    auto pixel = [&](int row) {
        return image.pixelColor(grid()->visualRect(grid()->model()->index(row, 1)).center());
    };
    EXPECT_EQ(pixel(1), QColor(255, 0, 0));
    EXPECT_EQ(pixel(2), QColor(0, 255, 0));
    EXPECT_EQ(pixel(3), grid()->palette().color(QPalette::Base));
}

TEST_F(EditorFixture, EnterWalksTheEntryAndEndsInTheColourDialog)
{
    w.show();
    const char* path[] = {"edtTitle", "edtSam", "edtAddr", "edtCap", "edtReg", "edtDot", "edtMax", "edtMin"};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(edit(path[i]), Qt::Key_Return);
        EXPECT_EQ(w.focusWidget(), edit(path[i + 1])) << path[i];
    }
    EXPECT_TRUE(dialogs.colorRequests.empty());
    dialogs.colors.push_back(65280);
    QTest::keyClick(edit("edtMin"), Qt::Key_Enter);
    EXPECT_EQ(dialogs.colorRequests, std::vector<int>{0});
    EXPECT_EQ(swatch(), QColor(0, 255, 0));
    // Cancelled, the swatch stays; the dialog still opens with the last chosen colour.
    w.spbColorClick();
    w.spbColorClick();
    EXPECT_EQ(dialogs.colorRequests, (std::vector<int>{0, 65280, 65280}));
    EXPECT_EQ(swatch(), QColor(0, 255, 0));
    EXPECT_TRUE(w.isVisible());
}

TEST_F(EditorFixture, ClosingAsksOnlyWhileSaveIsEnabled)
{
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(dialogs.messages.empty());

    w.show();
    add({"1", "a", "1", "0", "1", "0"});
    dialogs.answers.push_back(MsgResult::No);
    w.findChild<QPushButton*>("butExit")->click();
    EXPECT_TRUE(w.isVisible());
    QTest::keyClick(edit("edtCap"), Qt::Key_Escape);  // Esc closes nothing and asks nothing
    EXPECT_TRUE(w.isVisible());
    save(monitorFile("c.khd"));
    dialogs.answers.push_back(MsgResult::Yes);
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(asked(), (QStringList{QString::fromUtf8("정말 종료하시겠습니까?/확인/36"),
                                      QString::fromUtf8("저장하시겠습니까?/확인/36"),
                                      QString::fromUtf8("정말 종료하시겠습니까?/확인/36")}));
}

TEST_F(EditorFixture, HeadingRowCannotBeSelectedSoEditAndDeleteHitTheChosenRow)
{
    w.show();
    add({"1", "Zone 1", "1", "0", "1", "0"});
    add({"2", "Zone 2", "2", "0", "1", "0"});
    add({"3", "Zone 3", "3", "0", "1", "0"});
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                      grid()->visualRect(grid()->model()->index(3, 3)).center());
    ASSERT_EQ(grid()->currentRow(), 3);
    // Clicks on the heading row and the NO column, and keys towards them, select nothing else.
    QHeaderView* headings = grid()->horizontalHeader();
    QTest::mouseClick(headings->viewport(), Qt::LeftButton, {},
                      QPoint(headings->sectionViewportPosition(3) + 5, headings->height() / 2));
    QHeaderView* numbers = grid()->verticalHeader();
    QTest::mouseClick(numbers->viewport(), Qt::LeftButton, {},
                      QPoint(numbers->width() / 2, numbers->sectionViewportPosition(1) + 5));
    EXPECT_EQ(grid()->currentRow(), 3);
    fillEntry({"9", "Edited", "9", "0", "1", "0"});
    w.spbEdtClick();
    w.spbDelClick();
    EXPECT_EQ(rows(), (QStringList{"1||01|Zone 1|0001|0|1|0|16777215", "2||02|Zone 2|0002|0|1|0|16777215"}));
    EXPECT_TRUE(dialogs.messages.empty());

    grid()->setFocus();
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                      grid()->visualRect(grid()->model()->index(1, 3)).center());
    QTest::keyClick(grid(), Qt::Key_Up);
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_PageUp);
    EXPECT_EQ(grid()->currentRow(), 1);
    QTest::keyClick(grid(), Qt::Key_Left);
    EXPECT_GT(grid()->currentColumn(), 0);
}

TEST_F(EditorFixture, HeadingsStayOnScreenWhenTwentyChannelsScroll)
{
    QByteArray set = "T;1000\r\n";
    for (int i = 1; i <= 20; ++i)
        set += QByteArray::number(i) + ";Zone " + QByteArray::number(i) + ";0001;0;10;0;255\r\n";
    const QString path = monitorFile("twenty.khd");
    writeBytes(path, set);
    open(path);
    w.show();
    ColumnGrid* g = grid();
    g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum());
    ASSERT_GT(g->rowAt(0), 1) << "the grid scrolled";
    const QColor fixed = g->fixedColor();
    // Just inside the top-left corner of a heading and of a row number: the
    // fixed colour, where the scrolled rows would show white.
    const QImage shown = shownImage(g);
    const QHeaderView* headings = g->horizontalHeader();
    const QPoint heading = headings->mapTo(g, QPoint(headings->sectionViewportPosition(3) + 2, 2));
    EXPECT_EQ(shown.pixelColor(heading), fixed);
    const QHeaderView* numbers = g->verticalHeader();
    const int lastRow = g->rowCount() - 1;
    EXPECT_TRUE(numbers->isVisible());
    const QPoint number = numbers->mapTo(g, QPoint(2, numbers->sectionViewportPosition(lastRow) + 2));
    EXPECT_EQ(shown.pixelColor(number), fixed);
    EXPECT_EQ(g->text(0, 3), "Caption");
    EXPECT_EQ(g->text(lastRow, 0), "20");
}

TEST_F(EditorFixture, ColourSwatchOfASingleRowIsPaintedByEveryLoadAndAdd)
{
    const QString red = monitorFile("red.khd"), green = monitorFile("green.khd");
    writeBytes(red, "T;1000\r\n01;a;0001;0;10;0;255\r\n");
    writeBytes(green, "T;1000\r\n01;a;0001;0;10;0;65280\r\n");
    w.show();
    const auto swatchShown = [&] {
        const QRect cell = grid()->visualRect(grid()->model()->index(1, 1));
        return shownImage(grid()->viewport()).pixelColor(cell.center());
    };
    (void)swatchShown(); // everything painted once, with the single free row
    open(red);
    EXPECT_EQ(swatchShown(), QColor(255, 0, 0));
    open(green);  // same number of rows
    EXPECT_EQ(swatchShown(), QColor(0, 255, 0));
    open(green);  // a reload paints again
    EXPECT_EQ(swatchShown(), QColor(0, 255, 0));

    w.butNewClick();
    (void)swatchShown();
    add({"1", "a", "1", "0", "1", "0"}, 0xFF0000);  // blue, into the single free row
    EXPECT_EQ(swatchShown(), QColor(0, 0, 255));
}

TEST_F(EditorFixture, PasteLongerThanAFieldIsCutToItsLimit)
{
    w.show();
    struct Case {
        const char* edit;
        const char* before;
        int cursor;
        const char* pasted;
        const char* after;
    };
    const Case cases[] = {
        {"edtAddr", "", 0, "123", "12"},
        {"edtReg", "12", 2, "34567", "1234"},
        {"edtReg", "19", 1, "2345", "1239"},      // pasted in the middle: its end is cut
        {"edtCap", "", 0, "Zone;1234567890", "Zone123456"},
        {"edtTitle", "Kiln ", 5, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "Kiln xxxxxxxxxxxxxxx"},
    };
    for (const Case& c : cases) {
        QLineEdit* e = edit(c.edit);
        e->setText(QString::fromUtf8(c.before));
        e->setCursorPosition(c.cursor);
        QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
        e->paste();
        EXPECT_EQ(e->text(), QString::fromUtf8(c.after)) << c.edit << " " << c.pasted;
    }
    // Text loaded from a file stays whole and is not made longer.
    QLineEdit* reg = edit("edtReg");
    reg->setText("12345");
    reg->setCursorPosition(5);
    QApplication::clipboard()->setText("6");
    reg->paste();
    EXPECT_EQ(reg->text(), "12345");
}
