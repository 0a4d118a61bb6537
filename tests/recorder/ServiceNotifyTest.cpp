// kelorec under systemd: what it tells the service manager through
// NOTIFY_SOCKET (here a socket this test reads), and how a service whose
// settings file is missing or gives no set ends: once, in one line.
#include "tests/support/EventWait.h"
#include "tests/support/Files.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The service manager's end of NOTIFY_SOCKET: one datagram per notification.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        std::memcpy(address.sun_path, name.constData(), std::min<size_t>(name.size(), sizeof address.sun_path - 1));
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(m_fd); }
    [[nodiscard]] bool bound() const { return m_bound; }
    // Every datagram received so far.
    QStringList& received()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
            m_received << QString::fromUtf8(buffer, n);
        return m_received;
    }
    [[nodiscard]] int count(const QString& text) { return int(received().filter(text).size()); }

private:
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_received;
};

const QByteArray kSet = "Kiln;100\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n";

} // namespace

TEST(KelorecService, TellsSystemdReadyWatchdogStatusAndStopping)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("kiln.khd"), kSet);
    NotifySocket socket(dir.filePath("notify"));
    ASSERT_TRUE(socket.bound());
    QProcess sim, rec;
    sim.start(QStringLiteral(KELOSIM), {"--link", dir.filePath("tty"), "--addresses", "1-2"});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(dir.filePath("tty")); }));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", dir.filePath("notify"));
    env.insert("WATCHDOG_USEC", "400000"); // a watchdog ping at least every 200 ms
    rec.setProcessEnvironment(env);
    rec.start(QStringLiteral(KELOREC), {"--program-dir", dir.path(), "--port", dir.filePath("tty"), "--line",
                                        "9600,None,8,1", "--delay", "20", "--out", dir.filePath("out"),
                                        dir.filePath("kiln.khd")});
    ASSERT_TRUE(waitUntil([&] { return socket.count("READY=1") == 1; })) << socket.received().join('|').toStdString();
    EXPECT_TRUE(socket.received().filter("READY=1").first().contains("STATUS=no sample yet; 0 lines written"));
    // Pings keep coming while the loop turns, and the status tells how the recording goes.
    ASSERT_TRUE(waitUntil([&] { return socket.count("WATCHDOG=1") >= 6; }, 5000));
    static const QRegularExpression recording(QStringLiteral("STATUS=last sample .*; [1-9]\\d* lines written; link up$"));
    ASSERT_TRUE(waitUntil([&] { return !socket.received().filter(recording).isEmpty(); }))
        << socket.received().join('|').toStdString();

    rec.terminate();
    ASSERT_TRUE(rec.waitForFinished(10000));
    EXPECT_EQ(rec.exitCode(), 0);
    EXPECT_EQ(socket.count("STOPPING=1"), 1);
    sim.kill();
    sim.waitForFinished(5000);
}

TEST(KelorecService, AMissingSettingsFileOrSetIsNamedInOneLine)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("given.conf"), "KELOREC_OPTIONS=--port ttyUSB0\n");
    const struct {
        QString conf;
        QString says;
    } cases[] = {
        {dir.filePath("furnace.conf"), dir.filePath("furnace.conf") + " does not exist"},
        {dir.filePath("given.conf"), dir.filePath("given.conf") + " gives no KELOREC_SET"},
    };
    for (const auto& c : cases) {
        QProcess rec;
        // As the unit starts it: the set from KELOREC_SET, empty when unset.
        rec.start(QStringLiteral(KELOREC), {"--conf", c.conf, "--program-dir", dir.path(), "--out", dir.path(), ""});
        ASSERT_TRUE(rec.waitForFinished(10000));
        const QString err = QString::fromUtf8(rec.readAllStandardError());
        EXPECT_EQ(rec.exitCode(), 2) << "no restart (RestartPreventExitStatus=2)";
        EXPECT_TRUE(err.startsWith("kelorec: " + c.says)) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << "one line for the journal, no usage text: " << err.toStdString();
    }
}
