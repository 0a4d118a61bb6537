// The alarm states, step by step: raise after the on-delay, return only past
// the hysteresis, acknowledgement in every state, a channel lost while in
// alarm, and the system alarms.
#include "alarms/AlarmBook.h"
#include "alarms/AlarmText.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using K = AlarmKind;
using S = AlarmState;

enum class Op { Sample, Lost, NoValue, Ack, AckAll, Condition, Clear };

struct Step {
    qint64 seconds; // on the steady clock
    Op op;
    double value;   // Sample: the channel's value
    K kind;         // the alarm the step looks at (Ack, Condition: the one acted on)
    S expect;       // its state afterwards
    int changes;    // transitions the step said
};

struct Case {
    const char* name;
    ChannelAlarmDef def;
    QList<Step> steps;
};

ChannelAlarmDef high(double limit, double hysteresis, int delay)
{
    ChannelAlarmDef d;
    d.high = limit;
    d.hysteresis = hysteresis;
    d.onDelaySeconds = delay;
    return d;
}

ChannelAlarmDef band(double hi, double lo, double hysteresis)
{
    ChannelAlarmDef d = high(hi, hysteresis, 0);
    d.low = lo;
    d.priority = AlarmPriority::Warning;
    return d;
}

const Case kCases[] = {
    {"raised only once the condition held the delay", high(100, 2, 5),
     {{0, Op::Sample, 101, K::High, S::Normal, 0},
      {4, Op::Sample, 101, K::High, S::Normal, 0},
      {5, Op::Sample, 101, K::High, S::ActiveUnacked, 1}}},
    {"a value back under the limit starts the delay afresh", high(100, 2, 5),
     {{0, Op::Sample, 101, K::High, S::Normal, 0},
      {3, Op::Sample, 100, K::High, S::Normal, 0},
      {4, Op::Sample, 101, K::High, S::Normal, 0},
      {8, Op::Sample, 101, K::High, S::Normal, 0},
      {9, Op::Sample, 101, K::High, S::ActiveUnacked, 1}}},
    {"returns only past limit minus hysteresis", high(100, 2, 0),
     {{0, Op::Sample, 100.5, K::High, S::ActiveUnacked, 1},
      {1, Op::Sample, 99, K::High, S::ActiveUnacked, 0},
      {2, Op::Sample, 98, K::High, S::ActiveUnacked, 0},
      {3, Op::Sample, 97.9, K::High, S::ReturnedUnacked, 1}}},
    {"acknowledged while active, normal on return", high(100, 2, 0),
     {{0, Op::Sample, 101, K::High, S::ActiveUnacked, 1},
      {1, Op::Ack, 0, K::High, S::ActiveAcked, 1},
      {2, Op::Ack, 0, K::High, S::ActiveAcked, 0},
      {3, Op::Sample, 150, K::High, S::ActiveAcked, 0},
      {4, Op::Sample, 97, K::High, S::Normal, 1},
      {5, Op::Ack, 0, K::High, S::Normal, 0}}},
    {"returned unacknowledged stays until acknowledged", high(100, 2, 0),
     {{0, Op::Sample, 101, K::High, S::ActiveUnacked, 1},
      {1, Op::Sample, 90, K::High, S::ReturnedUnacked, 1},
      {2, Op::Sample, 90, K::High, S::ReturnedUnacked, 0},
      {3, Op::Ack, 0, K::High, S::Normal, 1}}},
    {"returned unacknowledged is raised again when it comes back", high(100, 2, 0),
     {{0, Op::Sample, 101, K::High, S::ActiveUnacked, 1},
      {1, Op::Sample, 90, K::High, S::ReturnedUnacked, 1},
      {2, Op::Sample, 101, K::High, S::ActiveUnacked, 1}}},
    {"the low limit mirrors the high one", band(100, 10, 1),
     {{0, Op::Sample, 9, K::Low, S::ActiveUnacked, 1},
      {1, Op::Sample, 10.5, K::Low, S::ActiveUnacked, 0},
      {2, Op::Sample, 11.1, K::Low, S::ReturnedUnacked, 1},
      {3, Op::Sample, 50, K::High, S::Normal, 0},
      {4, Op::AckAll, 0, K::Low, S::Normal, 1}}},
    {"a channel lost in high alarm holds it and raises channel lost", high(100, 2, 0),
     {{0, Op::Sample, 101, K::High, S::ActiveUnacked, 1},
      {1, Op::Lost, 0, K::High, S::ActiveUnacked, 1},
      {1, Op::Lost, 0, K::ChannelLost, S::ActiveUnacked, 0},
      {2, Op::Sample, 97, K::High, S::ReturnedUnacked, 2},
      {2, Op::Sample, 97, K::ChannelLost, S::ReturnedUnacked, 0}}},
    {"a lost channel's zero restarts the delay and raises nothing", high(100, 2, 5),
     {{0, Op::Sample, 101, K::High, S::Normal, 0},
      {3, Op::Lost, 0, K::High, S::Normal, 1},
      {4, Op::Sample, 101, K::High, S::Normal, 1},
      {8, Op::Sample, 101, K::High, S::Normal, 0},
      {9, Op::Sample, 101, K::High, S::ActiveUnacked, 1}}},
    {"no value yet holds the state", high(100, 2, 0),
     {{0, Op::Sample, 101, K::High, S::ActiveUnacked, 1},
      {1, Op::NoValue, 0, K::High, S::ActiveUnacked, 0}}},
    {"system alarms: at once, and acknowledged like the others", ChannelAlarmDef{},
     {{0, Op::Condition, 0, K::LinkLost, S::ActiveUnacked, 1},
      {1, Op::Condition, 0, K::LinkLost, S::ActiveUnacked, 0},
      {2, Op::Ack, 0, K::LinkLost, S::ActiveAcked, 1},
      {3, Op::Clear, 0, K::LinkLost, S::Normal, 1},
      {4, Op::Condition, 0, K::RecordFailing, S::ActiveUnacked, 1},
      {5, Op::Clear, 0, K::RecordFailing, S::ReturnedUnacked, 1},
      {6, Op::Clear, 0, K::RecordFailing, S::ReturnedUnacked, 0},
      {7, Op::AckAll, 0, K::RecordFailing, S::Normal, 1}}},
};

class Transitions : public testing::TestWithParam<Case> {};

TEST_P(Transitions, EachStepEndsInItsState)
{
    const Case& c = GetParam();
    AlarmBook book;
    book.setSettings(AlarmSettings{{c.def}}, {QStringLiteral("Zone 1")});
    QSignalSpy changed(&book, &AlarmBook::changed);
    const QDateTime t0(QDate(2026, 12, 10), QTime(4, 20), Qt::OffsetFromUTC, 9 * 3600);
    for (qsizetype i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        SCOPED_TRACE(testing::Message() << c.name << ", step " << i + 1);
        const QDateTime time = t0.addSecs(s.seconds);
        const qint64 ms = s.seconds * 1000;
        const AlarmKey key{isLimitAlarm(s.kind) || s.kind == K::ChannelLost ? 1 : 0, s.kind};
        const int before = int(changed.size());
        switch (s.op) {
        case Op::Sample: book.evaluate(time, ms, {s.value}, {false}); break;
        case Op::Lost: book.evaluate(time, ms, {std::nullopt}, {true}); break;
        case Op::NoValue: book.evaluate(time, ms, {std::nullopt}, {false}); break;
        case Op::Ack: book.acknowledge(key, time); break;
        case Op::AckAll: book.acknowledgeAll(time); break;
        case Op::Condition: book.setCondition(key, true, time, QStringLiteral("why")); break;
        case Op::Clear: book.setCondition(key, false, time); break;
        }
        EXPECT_EQ(alarmStateName(book.state(key)), alarmStateName(s.expect));
        EXPECT_EQ(changed.size() - before, s.changes);
        if (s.changes > 0) {
            const auto t = changed.last().first().value<AlarmTransition>();
            EXPECT_EQ(t.time, time);
        }
    }
    // Every said transition is listed as it stands, newest first.
    const QList<AlarmTransition> listed = book.listed();
    for (qsizetype i = 1; i < listed.size(); ++i)
        EXPECT_GE(listed[i - 1].time, listed[i].time);
    for (const AlarmTransition& t : listed)
        EXPECT_EQ(t.state, book.state(t.key));
}

INSTANTIATE_TEST_SUITE_P(AlarmBook, Transitions, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

// What a raise carries: the value, the limit crossed and the priority.
TEST(AlarmBook, ARaiseCarriesValueLimitAndPriority)
{
    AlarmBook book;
    book.setSettings(AlarmSettings{{band(100, 10, 1), {}}}, {QStringLiteral("A"), QStringLiteral("B")});
    QSignalSpy changed(&book, &AlarmBook::changed);
    book.evaluate(QDateTime::currentDateTime(), 0, {8.5, 500.0}, {false, false});
    ASSERT_EQ(changed.size(), 1); // channel 2 has no limits
    const auto t = changed[0][0].value<AlarmTransition>();
    EXPECT_EQ(t.key, (AlarmKey{1, K::Low}));
    EXPECT_EQ(t.value, 8.5);
    EXPECT_EQ(t.limit, 10.0);
    EXPECT_EQ(t.priority, AlarmPriority::Warning);
    EXPECT_EQ(book.unacknowledged(), 1);
    EXPECT_EQ(book.caption(1), "A");
}

} // namespace
