// A monitoring run killed outright (SIGKILL) at random moments: the record
// file keeps every sample line the run had finished, at most the line being
// written is torn, and the data viewer opens what is left without complaint.
//
// The default run kills 8 times. KELO_RECORDING_KILLS=50 runs the long one;
// KELO_RECORDING_SEED repeats a run's random moments.
#include "review/DataViewP.h"
#include "review/SampleModel.h"
#include "tests/support/Files.h"
#include "tests/support/ScriptedDialogs.h"
#include "widgets/AppContext.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <random>

namespace {

constexpr int kChannels = 8;

// "YYYYMMDD/HHNNSS;" then one value per channel, each followed by ";".
const QRegularExpression kSampleLine(QStringLiteral("^\\d{8}/\\d{6};(-?[0-9]{1,3}(,[0-9]{3})*(\\.[0-9]+)?;){%1}\\r\\n$")
                                         .arg(kChannels));
// The fields a torn line got to write before the process died.
const QRegularExpression kTornStart(QStringLiteral("^\\d{0,8}(/\\d{0,6}(;([-0-9,.]*;)*[-0-9,.]*\\r?)?)?$"));

struct KillResult {
    qint64 acknowledged = 0; // sampling ticks the run reported done
    qint64 lines = 0;        // complete sample lines in the file
    bool torn = false;
    QByteArray tail;
};

// Starts the victim, waits until it has reported `ticks` sampling ticks plus a
// random spin, and kills it.
class Victim {
public:
    explicit Victim(const QString& folder)
    {
        m_process.setProgram(QStringLiteral(KELO_RECORD_VICTIM));
        m_process.setArguments({folder});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
    }
    ~Victim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // Reads the victim's reports until `ticks` sampling ticks are done; false
    // when it died or said nothing for long (a guard, not a measurement).
    bool runUntil(qint64 ticks)
    {
        while (m_sampled < ticks || !m_started) {
            if (!m_process.waitForReadyRead(20000))
                return false;
            take(m_process.readAllStandardOutput());
        }
        return true;
    }

    void killNow()
    {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(20000);
        take(m_process.readAllStandardOutput());
    }

    [[nodiscard]] qint64 sampled() const { return m_sampled; }
    [[nodiscard]] const QStringList& dialogs() const { return m_dialogs; }
    [[nodiscard]] QByteArray errors() { return m_process.readAllStandardError(); }
    [[nodiscard]] QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

private:
    void take(const QByteArray& bytes)
    {
        m_out += bytes;
        qsizetype lf;
        while ((lf = m_out.indexOf('\n')) >= 0) {
            const QByteArray line = m_out.left(lf);
            m_out.remove(0, lf + 1);
            if (line == "started")
                m_started = true;
            else if (line.startsWith("sampled "))
                m_sampled = line.mid(8).toLongLong();
            else if (line.startsWith("dialog "))
                m_dialogs << QString::fromUtf8(line.mid(7));
        }
    }

    QProcess m_process;
    QByteArray m_out;
    bool m_started = false;
    qint64 m_sampled = 0;
    QStringList m_dialogs;
};

// Checks the record file line by line; every failure names the kill.
KillResult checkRecord(const QByteArray& bytes, int kill)
{
    KillResult result;
    EXPECT_TRUE(bytes.startsWith("set.khd\r\n")) << "kill " << kill;
    qsizetype pos = bytes.indexOf('\n') + 1;
    QString previousStamp;
    while (pos < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        if (lf < 0) {
            result.torn = true;
            result.tail = bytes.mid(pos);
            EXPECT_TRUE(kTornStart.match(QString::fromLatin1(result.tail)).hasMatch())
                << "kill " << kill << ": torn line " << result.tail.toStdString();
            break;
        }
        const QString line = QString::fromLatin1(bytes.mid(pos, lf + 1 - pos));
        EXPECT_TRUE(kSampleLine.match(line).hasMatch()) << "kill " << kill << ": line " << result.lines + 2 << " "
                                                        << line.toStdString();
        const QString stamp = line.left(15);
        EXPECT_GE(stamp, previousStamp) << "kill " << kill << ": lines out of order";
        previousStamp = stamp;
        ++result.lines;
        pos = lf + 1;
    }
    return result;
}

} // namespace

TEST(KilledRun, EveryFinishedSampleLineSurvivesAndTheViewerOpensTheRest)
{
    const int kills = qEnvironmentVariableIsSet("KELO_RECORDING_KILLS")
        ? qEnvironmentVariableIntValue("KELO_RECORDING_KILLS")
        : 8;
    const unsigned seed = qEnvironmentVariableIsSet("KELO_RECORDING_SEED")
        ? unsigned(qEnvironmentVariableIntValue("KELO_RECORDING_SEED"))
        : std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> ticksBeforeKill(1, 120);
    std::uniform_int_distribution<int> spinMicroseconds(0, 4000);

    qint64 totalLines = 0;
    int tornLines = 0;
    for (int k = 1; k <= kills; ++k) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString record = folder.filePath(QStringLiteral("Monitor/run.kmr"));
        KillResult result;
        {
            Victim victim(folder.path());
            ASSERT_TRUE(victim.runUntil(ticksBeforeKill(random)))
                << "kill " << k << ": the run did not get going. " << victim.errors().toStdString();
            // A random moment within the next sampling ticks, not a wait for one.
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(spinMicroseconds(random));
            while (std::chrono::steady_clock::now() < until) {
            }
            victim.killNow();
            EXPECT_EQ(victim.exitStatus(), QProcess::CrashExit) << "kill " << k;
            EXPECT_TRUE(victim.dialogs().isEmpty()) << "kill " << k << ": " << victim.dialogs().join('|').toStdString();
            result = checkRecord(readBytes(record), k);
            result.acknowledged = victim.sampled();
        }
        // Each reported tick has its line; at most the one after it got written
        // (fully or in part) before the kill.
        EXPECT_GE(result.lines, result.acknowledged) << "kill " << k;
        EXPECT_LE(result.lines + (result.torn ? 1 : 0), result.acknowledged + 1) << "kill " << k;
        totalLines += result.lines;
        tornLines += result.torn ? 1 : 0;

        ScriptedDialogs dialogs;
        AppContext context{dialogs, systemClock(), Regional::plain()};
        TDataViewF view(context);
        view.show();
        dialogs.openNames.push_back(record);
        view.bbtOpenClick();
        view.finishPendingWork();
        EXPECT_TRUE(dialogs.messages.empty()) << "kill " << k << ": " << dialogs.messageTexts().join('|').toStdString();
        EXPECT_TRUE(dialogs.errors.isEmpty()) << "kill " << k << ": " << dialogs.errors.join('|').toStdString();
        const qint64 rows = view.model().table().sampleCount();
        // A torn line shows as far as it goes, or not at all.
        EXPECT_GE(rows, result.lines) << "kill " << k;
        EXPECT_LE(rows, result.lines + (result.torn ? 1 : 0)) << "kill " << k;
        if (result.lines > 0) {
            const QByteArray bytes = readBytes(record);
            EXPECT_EQ(view.model().table().cell(0, 0), QString::fromLatin1(bytes.mid(bytes.indexOf('\n') + 1, 15)))
                << "kill " << k;
        }
    }
    std::printf("[ recording ] seed %u: %d kills, %lld sample lines checked, %d torn lines\n", seed, kills,
                static_cast<long long>(totalLines), tornLines);
}
