#include "TestBroker.h"

#include <QDeadlineTimer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool canConnect(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

bool writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

TestBroker::TestBroker(Options options)
    : m_options(std::move(options))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

TestBroker::TestBroker()
    : TestBroker(Options{})
{
}

TestBroker::~TestBroker()
{
    kill();
}

quint16 TestBroker::freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QString TestBroker::url(const QString& prefix) const
{
    return QStringLiteral("%1://127.0.0.1:%2/%3").arg(m_options.tls ? "mqtts" : "mqtt").arg(m_port).arg(prefix);
}

QString TestBroker::caFile() const
{
    return m_dir.filePath(QStringLiteral("ca.crt"));
}

QString TestBroker::otherCaFile() const
{
    return m_dir.filePath(QStringLiteral("other-ca.crt"));
}

bool TestBroker::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 %2 failed: %3").arg(program, arguments.join(' '), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool TestBroker::prepare()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QByteArray config;
    config += "max_queued_messages 1000000\n";
    // Run as root, mosquitto would switch to its own user and could not write here.
    if (const passwd* me = ::getpwuid(::getuid()))
        config += "user " + QByteArray(me->pw_name) + "\n";
    if (m_options.user.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        const QString passwd = m_dir.filePath(QStringLiteral("passwd"));
        if (!run(QStringLiteral("mosquitto_passwd"), {"-c", "-b", passwd, m_options.user, m_options.password}))
            return false;
        config += "allow_anonymous false\npassword_file " + passwd.toLocal8Bit() + "\n";
    }
    if (m_options.persistence)
        config += "persistence true\npersistence_location " + m_dir.path().toLocal8Bit() + "/\n";
    if (m_options.tls) {
        const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QString openssl = QStringLiteral("openssl");
        if (!writeFile(m_dir.filePath("san.cnf"), "subjectAltName=IP:127.0.0.1\n")
            || !run(openssl, QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=kelo test CA"})
            || !run(openssl, QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "other-ca.key", "-out", "other-ca.crt", "-days", "2", "-subj", "/CN=kelo other CA"})
            || !run(openssl, QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"})
            || !run(openssl, {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                              "-out", "server.crt", "-days", "2", "-extfile", "san.cnf"}))
            return false;
        config += "cafile " + caFile().toLocal8Bit() + "\n";
        config += "certfile " + m_dir.filePath("server.crt").toLocal8Bit() + "\n";
        config += "keyfile " + m_dir.filePath("server.key").toLocal8Bit() + "\n";
    }
    m_config = config + m_options.config;
    return true;
}

bool TestBroker::launch()
{
    const QByteArray listener = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
    if (!writeFile(m_dir.filePath("mosquitto.conf"), listener + m_config)) {
        m_error = QStringLiteral("cannot write mosquitto.conf");
        return false;
    }
    m_process.start(QStringLiteral("mosquitto"), {"-c", m_dir.filePath("mosquitto.conf")});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("mosquitto does not start: ") + m_process.errorString();
        return false;
    }
    if (!waitUntilListening(10000)) {
        m_error = QStringLiteral("mosquitto does not listen on %1: %2").arg(m_port).arg(QString::fromLocal8Bit(log()));
        kill();
        return false;
    }
    return true;
}

bool TestBroker::start()
{
    if (m_port != 0) // a restart keeps its port, so clients find it again
        return launch();
    if (!prepare())
        return false;
    // Another test may take the free port before mosquitto binds it: try another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        if (launch())
            return true;
    }
    return false;
}

bool TestBroker::waitUntilListening(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return false;
        if (canConnect(m_port))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void TestBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
    m_log += m_process.readAll();
}

void TestBroker::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
    m_log += m_process.readAll();
}

bool TestBroker::saveSessions()
{
    if (m_process.state() != QProcess::Running)
        return false;
    // mosquitto writes mosquitto.db.new, then renames it over mosquitto.db.
    const QString store = m_dir.filePath(QStringLiteral("mosquitto.db"));
    const QDateTime before = QFileInfo(store).lastModified();
    ::kill(pid_t(m_process.processId()), SIGUSR1);
    return QTest::qWaitFor(
        [&] {
            const QFileInfo info(store);
            return info.exists() && info.lastModified() != before && !QFile::exists(store + QStringLiteral(".new"));
        },
        10000);
}

void TestBroker::pause()
{
    if (m_process.state() == QProcess::Running)
        ::kill(pid_t(m_process.processId()), SIGSTOP);
}

QByteArray TestBroker::log()
{
    m_log += m_process.readAll();
    return m_log;
}

TestSubscriber::TestSubscriber(const TestBroker& broker, QString topic, QString clientId)
    : m_broker(broker)
    , m_topic(std::move(topic))
    , m_clientId(std::move(clientId))
    , m_readyTopic(QStringLiteral("kelo-test-ready/%1").arg(QRandomGenerator::global()->generate()))
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

TestSubscriber::~TestSubscriber()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool TestSubscriber::start(int timeoutMs)
{
    const TestBroker::Options& o = m_broker.options();
    QStringList arguments = {"-h", "127.0.0.1", "-p", QString::number(m_broker.port()), "-v", "-q", "1",
                             "-t", m_topic, "-t", m_readyTopic};
    if (!m_clientId.isEmpty())
        arguments += {"-c", "-i", m_clientId};
    if (m_skipRetained)
        arguments += QStringLiteral("-R");
    if (!o.user.isEmpty())
        arguments += {"-u", o.user, "-P", o.password};
    QStringList pubTls;
    if (o.tls)
        pubTls = {"--cafile", m_broker.caFile()};
    arguments += pubTls;
    m_process.start(QStringLiteral("mosquitto_sub"), arguments);
    if (!m_process.waitForStarted(5000))
        return false;

    // The subscription is in place once a probe sent after it comes back.
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QStringList pubArguments = {"-h", "127.0.0.1", "-p", QString::number(m_broker.port()), "-t", m_readyTopic, "-m", "ready"};
        if (!o.user.isEmpty())
            pubArguments += {"-u", o.user, "-P", o.password};
        QProcess::execute(QStringLiteral("mosquitto_pub"), pubArguments + pubTls);
        if (QTest::qWaitFor([this] { readOutput(); return m_ready; }, 300))
            return true;
    }
    return false;
}

void TestSubscriber::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        const qsizetype space = line.indexOf(' ');
        const QString topic = QString::fromUtf8(space < 0 ? line : line.left(space));
        if (topic == m_readyTopic) {
            m_ready = true;
            continue;
        }
        m_messages.append({topic, space < 0 ? QByteArray() : line.mid(space + 1)});
    }
}

bool TestSubscriber::waitFor(qsizetype count, int timeoutMs, const QString& topic)
{
    return QTest::qWaitFor([&] { return messages(topic).size() >= count; }, timeoutMs);
}

QList<TestSubscriber::Message> TestSubscriber::messages(const QString& topic)
{
    readOutput();
    if (topic.isEmpty())
        return m_messages;
    QList<Message> matching;
    for (const Message& m : std::as_const(m_messages)) {
        if (topicMatches(topic, m.topic))
            matching.append(m);
    }
    return matching;
}

bool topicMatches(const QString& filter, const QString& topic)
{
    const QStringList f = filter.split(QLatin1Char('/'));
    const QStringList t = topic.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i] == QLatin1String("#"))
            return true;
        if (i >= t.size() || (f[i] != QLatin1String("+") && f[i] != t[i]))
            return false;
    }
    return f.size() == t.size();
}
