#include "tests/sim/PtyPeer.h"

#include "link/FrameProtocol.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kKelosim = QStringLiteral(KELOSIM_PATH);

QString firstLine(QProcess& p)
{
    QDeadlineTimer limit(10000);
    while (!p.canReadLine() && !limit.hasExpired())
        p.waitForReadyRead(100);
    return QString::fromLocal8Bit(p.readLine()).trimmed();
}

} // namespace

// kelosim prints the device it serves, keeps the link to it, answers on it,
// and on SIGTERM ends cleanly and removes the link.
TEST(Kelosim, ServesAPseudoTerminalBehindItsLinkUntilTerminated)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("kelosim.tty"));
    QProcess sim;
    sim.start(kKelosim, {QStringLiteral("--link"), link, QStringLiteral("--addresses"), QStringLiteral("1-2")});
    ASSERT_TRUE(sim.waitForStarted());
    const QString device = firstLine(sim);
    EXPECT_TRUE(device.startsWith(QStringLiteral("/dev/pts/"))) << device.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), device);

    PtyPeer peer(link);
    ASSERT_TRUE(peer.isOpen());
    peer.send(BuildFrame("02DRS,01,0301"));
    EXPECT_EQ(peer.receive(15), BuildFrame("02DRS,OK,09C4"));

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

// run.sh hands over the program's process id: when that process ends, so does
// the simulator, and its link goes with it.
TEST(Kelosim, EndsWithTheProcessItServes)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("kelosim.tty"));
    QProcess program;
    program.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    ASSERT_TRUE(program.waitForStarted());

    QProcess sim;
    sim.start(kKelosim, {QStringLiteral("--link"), link, QStringLiteral("--parent-pid"),
                         QString::number(program.processId())});
    ASSERT_TRUE(sim.waitForStarted());
    EXPECT_FALSE(firstLine(sim).isEmpty());
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    program.kill();
    program.waitForFinished();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

TEST(Kelosim, BadArgumentsAreNamedAndNothingIsServed)
{
    struct Case {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{QStringLiteral("--addresses"), QStringLiteral("1-200")}, "address list"},
        {{QStringLiteral("--delay"), QStringLiteral("soon")}, "--delay"},
        {{QStringLiteral("--late-by"), QStringLiteral("-5")}, "--late-by"},
        {{QStringLiteral("--device"), QStringLiteral("/nonexistent/tty")}, "/nonexistent/tty"},
    };
    for (const Case& c : cases) {
        QProcess sim;
        sim.start(kKelosim, c.args);
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_NE(sim.exitCode(), 0) << c.message;
        EXPECT_TRUE(sim.readAllStandardError().contains(c.message)) << c.message;
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty()) << c.message;
    }
}

// What run.sh reads back: the link to serve on the first line of output.
TEST(Kelosim, SetupOfAFreshProgramDirectoryPrintsItsLink)
{
    QTemporaryDir dir;
    QProcess sim;
    sim.start(kKelosim, {QStringLiteral("--setup-dir"), dir.path()});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(sim.readAllStandardOutput()),
              dir.filePath(QStringLiteral("kelosim.tty")) + QLatin1Char('\n'));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("Main.ini"))));
}
