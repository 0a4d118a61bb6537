// The console's continuous mode through the faults of a real line: its log
// shows every reply that came, once and whole, and nothing of the noise.
#include "FaultLine.h"

#include "console/CommandP.h"
#include "link/LinkStatusBarP.h"
#include "link/ReplyAssembler.h"
#include "settings/IntervalTimer.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

class ConsoleFaults;
struct ConsoleCase {
    const char* name;
    std::function<void(SimFaults&)> faults;
    std::function<void(ConsoleFaults&, int tick)> before; // before each tick, from 1
    int ticks;
    // The log, line by line: S<a> a request to address a, R<a> its reply,
    // N<a> its refusal.
    const char* log;
    int errorBoxes = 0;
};

void PrintTo(const ConsoleCase& c, std::ostream* os)
{
    *os << c.name;
}


QString logLine(const QString& token)
{
    const QString a = QStringLiteral("0") + token.mid(1);
    const QString word = a == "01" ? "07D0" : a == "02" ? "09C4" : "0BB8"; // set values 2000, 2500, 3000
    if (token.startsWith('S'))
        return "[송신]=> <STX>" + a + "DRS,01,0301";
    if (token.startsWith('R'))
        return "[수신]=> <STX>" + a + "DRS,OK," + word;
    return "[수신]=> <STX>" + a + "DRS,NG";
}

class ConsoleFaults : public ::testing::TestWithParam<ConsoleCase>, public FaultLine {
public:
    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    [[nodiscard]] QString panel0() const { return child<LinkStatusBar>("StatusBar1")->panelText(0); }

    ProgramDir dir;
    ScriptedDialogs dialogs;
    AppContext context{dialogs};
    std::unique_ptr<TCommandF> window;
};

TEST_P(ConsoleFaults, LogShowsEveryReplyOnceAndNoNoise)
{
    const ConsoleCase& c = GetParam();
    programAssembler(ReceivingWindow::Console) = ReplyAssembler();
    SimFaults faults;
    if (c.faults)
        c.faults(faults);
    const QString link = serve(faults, {1, 2, 3});
    writeBytes(dir.mainIni(), "[ComPort1]\r\nPort=" + link.toLocal8Bit() + "\r\n[Delay]\r\nTime=200\r\n");
    window = std::make_unique<TCommandF>(context);
    window->show();
    ASSERT_TRUE(child<TComPort>("ComPort1")->Connected());
    watch(child<TComPort>("ComPort1"));

    auto* addresses = child<QListWidget>("clsbAll");
    for (int a = 0; a < 3; ++a)
        addresses->item(a)->setCheckState(Qt::Checked);
    child<QLineEdit>("edtSend")->setText("DRS,01,0301");
    child<QCheckBox>("chbAll")->setChecked(true);
    window->butSendClick();
    child<IntervalTimer>("Timer1")->blockSignals(true); // the test runs every tick

    for (int t = 1; t <= c.ticks; ++t) {
        if (c.before)
            c.before(*this, t);
        tickAndDeliver([this] { window->Timer1Timer(); });
    }

    QStringList expected;
    for (const QString& token : QString::fromLatin1(c.log).split(' ', Qt::SkipEmptyParts))
        expected << logLine(token);
    const QString text = child<QPlainTextEdit>("Memo1")->toPlainText();
    EXPECT_EQ(text.split('\n'), expected);
    EXPECT_EQ(dialogs.errors.size(), c.errorBoxes) << dialogs.errors.join(" | ").toStdString();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(panel0(), LinkStateText::Idle);
}

const ConsoleCase kCases[] = {
    {"SilentStation", [](SimFaults& f) { f.silent = {2}; }, nullptr, 6,
     "S1 R1 S2 S3 R3 S1 R1 S2 S3 R3"},
    {"Refusals", [](SimFaults& f) { f.refuseEvery = 2; }, nullptr, 6,
     "S1 R1 S2 N2 S3 R3 S1 N1 S2 R2 S3 N3"},
    {"GarbageBetweenFrames", [](SimFaults& f) { f.garbageEvery = 1; }, nullptr, 3, "S1 R1 S2 R2 S3 R3"},
    {"RepliesSplitIntoSingleBytes",
     [](SimFaults& f) {
         f.splitEvery = 1;
         f.splitPieces = 64;
         f.splitGapMs = 10;
     },
     nullptr, 3, "S1 R1 S2 R2 S3 R3"},
    // Both replies of a joined chunk are logged, in order.
    {"TwoRepliesJoinedInOneChunk", [](SimFaults& f) { f.joinEvery = 2; }, nullptr, 6,
     "S1 R1 S2 S3 R2 R3 S1 S2 R1 R2 S3"},
    {"LateReplies",
     [](SimFaults& f) {
         f.lateEvery = 2;
         f.lateByMs = 300;
     },
     nullptr, 6, "S1 R1 S2 S3 R3 R2 S1 S2 R2 R1 S3"},
    // Gone for ticks 4 to 6: nothing is sent or logged, one error box.
    {"DeviceThatVanishesAndComesBack", nullptr,
     [](ConsoleFaults& r, int tick) {
         if (tick == 4) {
             r.vanish();
             EXPECT_EQ(r.panel0(), LinkStateText::Error);
         }
         if (tick == 7)
             r.comeBack();
     },
     9, "S1 R1 S2 R2 S3 R3 S1 R1 S2 R2 S3 R3", 1},
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Faults, ConsoleFaults, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ConsoleCase>& info) { return std::string(info.param.name); });
