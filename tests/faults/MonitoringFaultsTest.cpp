// The monitoring window through the faults of a real line: what it shows, what
// it records, the error boxes it raises and how it idles while the link is down.
#include "FaultLine.h"
#include "monitoring/MonitoringEngine.h"
#include "recorder/Recorder.h"
#include "tests/monitoring/MonitoringWindowFixture.h"

#include <array>
#include <cmath>
#include <functional>

namespace {

// Four controllers, each read at a set value the simulator holds still:
// addresses 1 to 4 hold 2000, 2500, 3000 (3100 in 0302) and 3500.
const QByteArray kSet = "Faults;1000\r\n"
                        "01;Z1;0301;1;1200;-100;255\r\n"
                        "02;Z2;0301;0;3000;0;65280\r\n"
                        "03;Z3;0302;1;500;0;16711680\r\n"
                        "04;Z4;0301;2;100;0;0\r\n";
constexpr int kChannels = 4;
const char* const kAll = "200.0;2,500;310.0;35.0";
// The chart value of each channel's reply, in percent of its range.
constexpr double kPercent[kChannels] = {200.0 / 1300 * 100, 2500.0 / 3000 * 100, 310.0 / 500 * 100, 35.0};

class MonitoringFaults;
struct FaultCase {
    const char* name;
    std::function<void(SimFaults&)> faults;                  // from the start
    std::function<void(MonitoringFaults&, int cycle)> before; // before each poll cycle, from 1
    // The values of each sample line, one line per cycle (a sampling tick
    // follows every cycle of four poll ticks).
    std::vector<const char*> samples;
    std::array<int, kChannels> replyPoints;                   // chart points from "OK" replies
    std::array<int, kChannels> zeroPoints;                    // chart points of the miss rule (after a measurement)
    int errorBoxes = 0;
    bool oneByteNotifications = false;
};

class MonitoringFaults : public MonitoringWindowTest,
                         public FaultLine,
                         public ::testing::WithParamInterface<FaultCase> {
public:
    using FaultLine::waitFor;

    // The window on the simulator, the four-channel set loaded and a run started.
    void startRun(const SimFaults& faults)
    {
        portAt(serve(faults, {1, 2, 3, 4}));
        open();
        watch(port());
        load(kSet);
        start();
    }
    void pollTick()
    {
        tickAndDeliver([this] { window->Timer1Timer(); });
    }
    void vanish()
    {
        FaultLine::vanish();
        if (window)
            EXPECT_EQ(panel(0), "ERROR");
    }
    void comeBack()
    {
        FaultLine::comeBack();
        if (window) {
            EXPECT_EQ(panel(0), "대기중");
            EXPECT_FALSE(port()->LinkLost());
        }
    }

    // kelorec's run instead of the window, on the same simulator and clock.
    std::unique_ptr<Recorder> startRecorder(const SimFaults& faults)
    {
        RecorderOptions o;
        o.setPath = MonitorDir() + QStringLiteral("/set.khd");
        o.programDir = ProgramPath;
        writeBytes(o.setPath, kSet);
        portAt(serve(faults, {1, 2, 3, 4}));
        auto r = std::make_unique<Recorder>(o, context.clock, Regional::plain(), [](const QString&) {}, context.steady);
        EXPECT_EQ(r->prepare(), "");
        r->start(false);
        watch(&r->port());
        return r;
    }
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

QString stamp(int cycle)
{
    return QDateTime(QDate(2024, 1, 5), QTime(14, 30, 22)).addSecs(cycle).toString("yyyyMMdd/HHmmss");
}

TEST_P(MonitoringFaults, KeepsShowingAndRecordingWhatTheMissRuleSays)
{
    const FaultCase& c = GetParam();
    SimFaults faults;
    if (c.faults)
        c.faults(faults);
    startRun(faults);
    ASSERT_EQ(startButton()->text(), "Stop");

    QByteArray expected = "set.khd\r\n";
    for (int cycle = 1; cycle <= int(c.samples.size()); ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        if (c.before)
            c.before(*this, cycle);
        for (int ch = 1; ch <= kChannels; ++ch)
            pollTick();
        now = now.addSecs(1);
        window->tmSamplingTimer();
        const QString line = stamp(cycle) + ';' + c.samples[cycle - 1] + ';';
        expected += line.toLatin1() + "\r\n";
        // What the value table shows is what went into the file.
        QStringList shown;
        for (int col = 0; col <= kChannels; ++col)
            shown << value(col);
        EXPECT_EQ(shown.join(';') + ';', line);
    }
    EXPECT_EQ(readBytes(recordPath()), expected);

    for (int t = 0; t < kChannels; ++t) {
        SCOPED_TRACE("channel " + std::to_string(t + 1));
        const std::vector<double> v = points(t);
        if (!v.empty())
            EXPECT_NEAR(v.front(), kPercent[t], 1e-9) << "a trace begins at its first measurement";
        int replies = 0;
        int zeros = 0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i] == 0) {
                ++zeros;
            } else {
                EXPECT_NEAR(v[i], kPercent[t], 1e-9);
                ++replies;
            }
        }
        EXPECT_EQ(replies, c.replyPoints[std::size_t(t)]);
        EXPECT_EQ(zeros, c.zeroPoints[std::size_t(t)]);
    }

    EXPECT_EQ(dialogs.errors.size(), c.errorBoxes) << dialogs.errors.join(" | ").toStdString();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(" | ").toStdString();
    EXPECT_EQ(panel(0), "대기중");
    if (c.oneByteNotifications) {
        EXPECT_EQ(received(), notifications->count());
        EXPECT_GT(notifications->count(), 16 * kChannels);
    }
    window->bbtStartClick();
    EXPECT_EQ(startButton()->text(), "Start");
}

// Every fault at once over many cycles, the way a long run on a noisy bus
// meets them: whatever a channel shows, records or plots is its controller's
// own value, or the 0 of the miss rule.
TEST_F(MonitoringFaults, ANoisyBusShowsAndRecordsOnlyTrueValuesOrZero)
{
    SimFaults faults;
    faults.garbageEvery = 2;
    faults.splitEvery = 3;
    faults.splitPieces = 5;
    faults.splitGapMs = 30;
    faults.joinEvery = 5;
    faults.lateEvery = 7;
    faults.lateByMs = 300;
    faults.refuseEvery = 11;
    startRun(faults);
    const QStringList truth = QString::fromLatin1(kAll).split(';');
    const int cycles = 40;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        for (int ch = 1; ch <= kChannels; ++ch)
            pollTick();
        now = now.addSecs(1);
        window->tmSamplingTimer();
    }
    const QStringList lines = QString::fromLatin1(readBytes(recordPath())).split("\r\n");
    ASSERT_EQ(lines.size(), cycles + 2);
    EXPECT_EQ(lines.front(), "set.khd");
    EXPECT_EQ(lines.back(), "");
    int zeros = 0;
    for (int i = 1; i <= cycles; ++i) {
        const QStringList f = lines[i].split(';');
        ASSERT_EQ(f.size(), kChannels + 2) << lines[i].toStdString();
        EXPECT_EQ(f[0], stamp(i));
        for (int c = 0; c < kChannels; ++c) {
            EXPECT_TRUE(f[c + 1] == truth[c] || f[c + 1] == "0") << lines[i].toStdString();
            zeros += f[c + 1] == "0";
        }
    }
    EXPECT_LT(zeros, cycles * kChannels / 4) << "most samples carry values";
    RecordProperty("zeroSamples", zeros);
    const ReplyAssembler& a = programAssembler(ReceivingWindow::Monitoring);
    EXPECT_GT(a.droppedBytes(), 0) << "the noise came";
    EXPECT_GT(a.abandonedFrames(), 0);
    for (int t = 0; t < kChannels; ++t) {
        for (double v : points(t))
            EXPECT_TRUE(v == 0 || std::abs(v - kPercent[t]) < 1e-9) << v;
    }
    EXPECT_TRUE(dialogs.errors.empty()) << dialogs.errors.join(" | ").toStdString();
    EXPECT_TRUE(dialogs.messages.empty());
}

// The adapter is pulled while a reply is half in: the broken-off start is
// dropped and the first reply after the return is taken whole.
TEST_F(MonitoringFaults, AReplyCutOffByAPulledDeviceLeavesTheNextReplyWhole)
{
    SimFaults faults;
    faults.splitEvery = 1;
    faults.splitPieces = 4;
    faults.splitGapMs = 50;
    startRun(faults);
    const int asked = requests;
    window->Timer1Timer();
    waitFor([&] { return requests > asked; });
    sim->writeDue();
    waitFor([&] { return received() == sim->bytesWritten() && received() > 0; });
    EXPECT_EQ(panel(0), "수신중");
    vanish();
    comeBack();
    pollTick();
    EXPECT_EQ(value(1), "");
    EXPECT_EQ(value(2), "2,500");
    EXPECT_EQ(panel(0), "대기중");
    EXPECT_EQ(dialogs.errors.size(), 0) << "nothing was sent while the device was gone";
}

// Pulled before Start: the run reports its first failed request once and
// takes values as soon as the device is back.
TEST_F(MonitoringFaults, ARunStartedWhileTheDeviceIsGoneTakesValuesOnceItIsBack)
{
    portAt(serve({}, {1, 2, 3, 4}));
    open();
    watch(port());
    load(kSet);
    vanish();
    EXPECT_TRUE(dialogs.errors.empty()) << "a loss outside a run is shown in the link panel only";
    start();
    for (int ch = 1; ch <= kChannels; ++ch)
        pollTick();
    showPostedBoxes();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(panel(0), "ERROR");
    comeBack();
    for (int ch = 1; ch <= kChannels; ++ch)
        pollTick();
    now = now.addSecs(1);
    window->tmSamplingTimer();
    EXPECT_EQ(readBytes(recordPath()), "set.khd\r\n" + (stamp(1) + ';' + kAll + ';').toLatin1() + "\r\n");
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.messages.empty());
}

// kelorec records the same lines as the window through every fault.
TEST_P(MonitoringFaults, TheRecorderRecordsWhatTheWindowRecords)
{
    const FaultCase& c = GetParam();
    SimFaults faults;
    if (c.faults)
        c.faults(faults);
    std::unique_ptr<Recorder> recorder = startRecorder(faults);
    QByteArray expected = "set.khd\r\n";
    for (int cycle = 1; cycle <= int(c.samples.size()); ++cycle) {
        if (c.before)
            c.before(*this, cycle);
        for (int ch = 1; ch <= kChannels; ++ch)
            tickAndDeliver([&] { recorder->pollTick(); });
        now = now.addSecs(1);
        recorder->sampleTick();
        expected += (stamp(cycle) + ';' + c.samples[cycle - 1] + ';').toLatin1() + "\r\n";
    }
    EXPECT_EQ(recorder->recordPath(), recordPath("Faults_20240105143022.kmr"));
    EXPECT_EQ(readBytes(recorder->recordPath()), expected);
    EXPECT_EQ(recorder->finish(), 0);
}

std::vector<const char*> lines(std::initializer_list<std::pair<int, const char*>> runs)
{
    std::vector<const char*> v;
    for (const auto& [count, text] : runs)
        v.insert(v.end(), std::size_t(count), text);
    return v;
}

const FaultCase kCases[] = {
    // Channel 3 answers once, then its controller falls silent: it keeps its
    // value for three requests and is zeroed at the 4th and the 7th.
    {"SilentStationAmongLiveOnesIsZeroedEveryThirdRequest", nullptr,
     [](MonitoringFaults& r, int cycle) {
         if (cycle == 2)
             r.sim->faults().silent.insert(3);
     },
     lines({{4, kAll}, {4, "200.0;2,500;0;35.0"}}), {8, 8, 1, 8}, {0, 0, 2, 0}},
    // From the second cycle every fourth reply (always channel 4's) is a
    // refusal: the one that answers the third unanswered request zeroes it.
    {"RefusalsZeroOnlyWhenTheyAnswerTheThirdUnansweredRequest", nullptr,
     [](MonitoringFaults& r, int cycle) {
         if (cycle == 2)
             r.sim->faults().refuseEvery = 4;
     },
     lines({{3, kAll}, {4, "200.0;2,500;310.0;0"}}), {7, 7, 7, 1}, {0, 0, 0, 2}},
    // A bus slower than the poll interval: every reply comes in the next
    // channel's slot, so no channel ever has an answer.
    {"RepliesSlowerThanThePollIntervalBelongToNoChannel", [](SimFaults& f) { f.replyDelayMs = 250; }, nullptr,
     lines({{7, "0;0;0;0"}}), {0, 0, 0, 0}, {0, 0, 0, 0}},
    {"GarbageBetweenFramesLeavesEveryValueRight", [](SimFaults& f) { f.garbageEvery = 1; }, nullptr,
     lines({{3, kAll}}), {3, 3, 3, 3}, {0, 0, 0, 0}},
    {"RepliesSplitIntoSingleBytesGiveTheSameValues",
     [](SimFaults& f) {
         f.splitEvery = 1;
         f.splitPieces = 64;
         f.splitGapMs = 10;
     },
     nullptr, lines({{2, kAll}}), {2, 2, 2, 2}, {0, 0, 0, 0}, 0, true},
    // Every third reply is held back and goes out with the next one, when the
    // window has moved on: it belongs to no channel. No channel misses three in
    // a row, so none is zeroed; channel 3's first reply is the first held back,
    // so the first sample records 0 for it.
    {"TwoRepliesJoinedInOneChunkKeepOffTheNextChannel", [](SimFaults& f) { f.joinEvery = 3; }, nullptr,
     lines({{1, "200.0;2,500;0;35.0"}, {5, kAll}}), {4, 4, 4, 4}, {0, 0, 0, 0}},
    // Every third reply comes 300 ms late, after the next channel's own reply.
    {"LateRepliesFromAnotherAddressChangeNoChannel",
     [](SimFaults& f) {
         f.lateEvery = 3;
         f.lateByMs = 300;
     },
     nullptr, lines({{1, "200.0;2,500;0;35.0"}, {5, kAll}}), {4, 4, 4, 4}, {0, 0, 0, 0}},
    // The device is gone for cycles 2 to 5: values are kept for three
    // requests and zeroed at the 4th; one error box; all back once it returns.
    {"DeviceThatVanishesMidRunAndComesBack", nullptr,
     [](MonitoringFaults& r, int cycle) {
         if (cycle == 2)
             r.vanish();
         if (cycle == 6)
             r.comeBack();
     },
     lines({{4, kAll}, {1, "0;0;0;0"}, {2, kAll}}), {3, 3, 3, 3}, {1, 1, 1, 1}, 1},
    // Pulled twice in one run: the error box comes once a run, the link
    // panel tells of each loss.
    {"DeviceThatVanishesTwiceInOneRun", nullptr,
     [](MonitoringFaults& r, int cycle) {
         if (cycle == 2 || cycle == 4)
             r.vanish();
         if (cycle == 3 || cycle == 5)
             r.comeBack();
     },
     lines({{5, kAll}}), {3, 3, 3, 3}, {0, 0, 0, 0}, 1},
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Faults, MonitoringFaults, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });
