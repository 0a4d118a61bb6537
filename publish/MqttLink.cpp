#include "publish/MqttLink.h"

#include "publish/MqttTopics.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mosquitto.h>
#include <openssl/x509.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int kIdlePollMs = 1000; // keep-alive pings are sent from this loop

// CONNACK return codes of MQTT 3.1.1.
constexpr int kConnackNone = -1; // no CONNACK yet
constexpr int kConnackAccepted = 0;
constexpr int kConnackBadProtocol = 1;
constexpr int kConnackIdRejected = 2;
constexpr int kConnackServerUnavailable = 3;
constexpr int kConnackBadCredentials = 4;
constexpr int kConnackNotAuthorized = 5;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// OpenSSL's default CA folder, or the one SSL_CERT_DIR names.
QByteArray systemCaFolder()
{
    const QByteArray fromEnvironment = qgetenv(X509_get_default_cert_dir_env());
    return fromEnvironment.isEmpty() ? QByteArray(X509_get_default_cert_dir()) : fromEnvironment;
}

QByteArray clientId()
{
    // At most 23 characters, which every MQTT 3.1.1 broker accepts.
    return QStringLiteral("kelo-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->bounded(0x10000), 4, 16, QLatin1Char('0'))
        .toLatin1();
}

// Return codes after which libmosquitto still holds a QoS 1 message (and sends
// it after a reconnect); the others refuse it before queueing.
bool heldByLibrary(int rc)
{
    switch (rc) {
    case MOSQ_ERR_INVAL:
    case MOSQ_ERR_NOMEM:
    case MOSQ_ERR_PAYLOAD_SIZE:
    case MOSQ_ERR_MALFORMED_UTF8:
    case MOSQ_ERR_OVERSIZE_PACKET:
    case MOSQ_ERR_QOS_NOT_SUPPORTED:
    case MOSQ_ERR_NOT_SUPPORTED:
        return false;
    default:
        return true;
    }
}

} // namespace

MqttLink::MqttLink(MqttEndpoint endpoint, qsizetype queueLimit, int inFlightWindow, Reporter reporter)
    : m_endpoint(std::move(endpoint))
    , m_queueLimit(std::max<qsizetype>(1, queueLimit))
    , m_inFlightWindow(std::max(1, inFlightWindow))
    , m_report(std::move(reporter))
    , m_statusTopic(MqttTopics::status(m_endpoint.prefix).toUtf8())
{
    initLibrary();
    // Checked in start(): without it, stop() would wait out a back-off.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

MqttLink::~MqttLink()
{
    stop();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void MqttLink::readRetainedFirst(QByteArray topic, RetainedReader reader)
{
    m_retainedTopic = std::move(topic);
    m_retainedReader = std::move(reader);
    m_retainedDone = m_retainedTopic.isEmpty();
}

void MqttLink::start()
{
    if (m_thread.joinable() || m_mosq)
        return;
    if (m_wakeFd < 0) {
        report(Event::Refused, QStringLiteral("MQTT 연결을 시작할 수 없습니다 (eventfd: %1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    m_mosq = mosquitto_new(clientId().constData(), true, this);
    if (!m_mosq) {
        report(Event::Refused, QStringLiteral("MQTT 클라이언트를 만들 수 없습니다 (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    if (!setUp()) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
        return;
    }
    m_retryMs = kFirstRetryMs;
    m_thread = std::thread([this] { run(); });
}

// Every setup call is checked: a will that silently failed would leave the
// status "online" for ever after a crash.
bool MqttLink::setUp()
{
    const auto check = [this](int rc, const char* call) {
        if (rc == MOSQ_ERR_SUCCESS)
            return true;
        report(Event::Refused, QStringLiteral("MQTT 설정을 할 수 없습니다: %1 (%2)")
                                   .arg(QLatin1String(call), QString::fromUtf8(mosquitto_strerror(rc))));
        return false;
    };
    if (!check(mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311), "protocol version")
        // A tick's messages leave at once, not held back for the
        // acknowledgements of the ones before them.
        || !check(mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1), "TCP_NODELAY")
        || !check(mosquitto_max_inflight_messages_set(m_mosq, unsigned(m_inFlightWindow)), "max_inflight_messages")
        || !check(mosquitto_will_set(m_mosq, m_statusTopic.constData(), 7, "offline", 1, true), "will_set"))
        return false;
    mosquitto_connect_callback_set(m_mosq, &MqttLink::onConnect);
    mosquitto_publish_callback_set(m_mosq, &MqttLink::onPublish);
    mosquitto_log_callback_set(m_mosq, &MqttLink::onLog);
    mosquitto_message_callback_set(m_mosq, &MqttLink::onMessage);
    mosquitto_unsubscribe_callback_set(m_mosq, &MqttLink::onUnsubscribe);
    if (!m_endpoint.user.isEmpty()) {
        const QByteArray user = m_endpoint.user.toUtf8();
        if (!check(mosquitto_username_pw_set(m_mosq, user.constData(),
                                             m_endpoint.hasPassword ? m_endpoint.password.constData() : nullptr),
                   "username_pw_set"))
            return false;
    }
    if (m_endpoint.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (m_endpoint.caFile.isEmpty()) {
            rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            // libmosquitto 2.0 reuses its TLS context on every reconnect, and
            // refuses it ("MOSQ_OPT_SSL_CTX_WITH_DEFAULTS used without
            // specifying cafile, capath or psk") unless a CA file or folder is
            // set: with the system's CAs alone the first connection worked and
            // no reconnect ever did. The system's CA folder as that folder
            // keeps every connection alike; the system's CA file still loads
            // through the OS certificates (both honour SSL_CERT_FILE and
            // SSL_CERT_DIR, as OpenSSL does).
            if (rc == MOSQ_ERR_SUCCESS)
                rc = mosquitto_tls_set(m_mosq, nullptr, systemCaFolder().constData(), nullptr, nullptr, nullptr);
        } else {
            const QByteArray ca = m_endpoint.caFile.toLocal8Bit();
            rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            report(Event::Refused, QStringLiteral("TLS 설정을 할 수 없습니다: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return false;
        }
    }
    return true;
}

void MqttLink::report(Event event, const QString& message)
{
    std::lock_guard lock(m_reportMutex);
    if (!m_silenced)
        m_report(event, message);
}

void MqttLink::silence()
{
    std::lock_guard lock(m_reportMutex);
    m_silenced = true;
}

void MqttLink::noteChange()
{
    // Taken and released so a waiter between its check and its wait is woken.
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

void MqttLink::requestStop()
{
    m_stop = true;
    if (m_wakeFd >= 0)
        wake();
}

bool MqttLink::waitStopped(int timeoutMs)
{
    if (!m_thread.joinable())
        return true;
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_finished; });
}

void MqttLink::stop()
{
    if (!m_thread.joinable())
        return;
    requestStop();
    m_thread.join();
}

void MqttLink::wake()
{
    const quint64 one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is already non-zero: the thread wakes anyway.
    }
}

void MqttLink::enqueue(std::vector<Message> messages)
{
    qint64 dropped = 0;
    {
        std::lock_guard lock(m_mutex);
        for (Message& m : messages)
            m_queue.push_back(std::move(m));
        while (qsizetype(m_queue.size()) > m_queueLimit) {
            m_queue.pop_front();
            ++dropped;
        }
    }
    m_dropped += dropped; // atomic: needs no lock
    wake();
}

bool MqttLink::drained() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty() && m_inFlightShared.load() == 0;
}

bool MqttLink::waitDrained(int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_queue.empty() && m_inFlightShared.load() == 0; });
}

qint64 MqttLink::queued() const
{
    std::lock_guard lock(m_mutex);
    return qint64(m_queue.size());
}

void MqttLink::run()
{
    while (!m_stop) {
        if (!m_socketOpen && !openConnection()) {
            waitBeforeRetry();
            continue;
        }
        serviceConnection();
    }
    closeCleanly();
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

bool MqttLink::openConnection()
{
    m_connackCode = kConnackNone;
    m_lastLibraryError.clear();
    const QByteArray host = m_endpoint.host.toUtf8();
    // Resolves the host name on this thread; the socket connects without blocking.
    const int rc = mosquitto_connect_async(m_mosq, host.constData(), m_endpoint.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        linkDown(rc, errno);
        return false;
    }
    m_socketOpen = true;
    return true;
}

void MqttLink::serviceConnection()
{
    const int sock = mosquitto_socket(m_mosq);
    if (sock < 0) {
        m_socketOpen = false;
        linkDown(MOSQ_ERR_NO_CONN, 0);
        waitBeforeRetry();
        return;
    }
    pollfd fds[2] = {
        {sock, short(POLLIN | (mosquitto_want_write(m_mosq) ? POLLOUT : 0)), 0},
        {m_wakeFd, POLLIN, 0},
    };
    ::poll(fds, 2, kIdlePollMs);
    if (fds[1].revents & POLLIN) {
        quint64 count = 0;
        if (::read(m_wakeFd, &count, sizeof count) < 0) {
            // Nothing to read: another wake-up got there first.
        }
    }
    if (m_stop)
        return;

    // Reads, writes and keeps alive without waiting: poll has done the waiting.
    const int rc = mosquitto_loop(m_mosq, 0, 1);
    const int savedErrno = errno;
    // Acknowledge what the broker sent at once. A broker that holds its small
    // PUBACKs back (Nagle's algorithm, mosquitto's default) until the last one
    // is acknowledged would otherwise wait for our delayed ACK, 40 ms, each
    // time the window of unacknowledged messages is full. Linux clears the
    // flag as it likes, so it is set again after each read.
    if (const int s = mosquitto_socket(m_mosq); s >= 0) {
        const int on = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        m_socketOpen = false;
        linkDown(rc, savedErrno);
        waitBeforeRetry();
        return;
    }
    if (!m_ready && m_connackCode == kConnackAccepted) {
        // libmosquitto has queued its resends of unacknowledged messages while
        // handling the CONNACK, so what the pump sends now follows them.
        m_ready = true;
        m_retryMs = kFirstRetryMs;
        m_connectedShared = true;
        ++m_inFlightShared; // never queued, so no step of drained()'s to keep whole
        publishNow({m_statusTopic, QByteArrayLiteral("online")});
        report(Event::Connected, {});
        if (!m_retainedDone)
            beginRetainedRead();
    }
    if (m_retainedReading && std::chrono::steady_clock::now() >= m_retainedDeadline)
        endRetainedRead();
    pump();
}

void MqttLink::beginRetainedRead()
{
    const int rc = mosquitto_subscribe(m_mosq, nullptr, m_retainedTopic.constData(), 0);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_unsubscribe(m_mosq, &m_retainedMid, m_retainedTopic.constData()) == MOSQ_ERR_SUCCESS) {
        m_retainedReading = true;
        m_retainedPayload.clear();
        m_retainedDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRetainedReadMs);
    }
    // Else the connection is failing: the next one tries again.
}

void MqttLink::endRetainedRead()
{
    m_retainedReading = false;
    m_retainedDone = true;
    std::lock_guard lock(m_reportMutex);
    if (!m_silenced)
        m_retainedReader(m_retainedPayload);
}

void MqttLink::pump()
{
    // Nothing queued leaves before the retained message has been read.
    if (!m_ready || m_retainedReading || m_inFlight >= m_inFlightWindow)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return;
    }
    // libmosquitto writes each message on its own; corked, a tick's thousand
    // messages leave in full segments instead of a thousand small ones, and
    // uncorking sends what is left at once.
    const int sock = mosquitto_socket(m_mosq);
    const int on = 1, off = 0;
    ::setsockopt(sock, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
    while (m_inFlight < m_inFlightWindow) {
        Message message;
        {
            // Taken off the queue and counted in flight in one step, so
            // drained() never sees the message in neither place.
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                break;
            message = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_inFlightShared;
        }
        publishNow(message);
    }
    ::setsockopt(sock, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
}

// The caller has counted the message in m_inFlightShared.
void MqttLink::publishNow(const Message& message)
{
    const int rc = mosquitto_publish(m_mosq, nullptr, message.topic.constData(), int(message.payload.size()),
                                     message.payload.constData(), 1, true);
    if (heldByLibrary(rc)) {
        ++m_inFlight;
    } else {
        --m_inFlightShared;
        ++m_dropped;
        noteChange();
    }
}

void MqttLink::linkDown(int rc, int savedErrno)
{
    m_ready = false;
    m_connectedShared = false;
    m_retainedReading = false; // read again on the next connection
    if (m_stop)
        return;
    // A refusal, or a connection libmosquitto will not even try: said as
    // refused, with the library's reason, so it is never a silent retry.
    // A broker that is only unavailable now is away, not refusing.
    const bool refused = (m_connackCode > kConnackAccepted && m_connackCode != kConnackServerUnavailable)
                         || rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_AUTH || rc == MOSQ_ERR_INVAL
                         || rc == MOSQ_ERR_NOT_SUPPORTED;
    report(refused ? Event::Refused : Event::Away, describeFailure(rc, savedErrno));
}

QString MqttLink::describeFailure(int rc, int savedErrno) const
{
    switch (m_connackCode) {
    case kConnackBadProtocol:
        return QStringLiteral("브로커가 MQTT 3.1.1을 받지 않습니다 (unacceptable protocol version)");
    case kConnackIdRejected:
        return QStringLiteral("브로커가 클라이언트 ID를 거부했습니다 (identifier rejected)");
    case kConnackServerUnavailable:
        return QStringLiteral("브로커를 지금 쓸 수 없습니다 (server unavailable)");
    case kConnackBadCredentials:
    case kConnackNotAuthorized:
        return QStringLiteral("사용자 이름 또는 비밀번호가 맞지 않거나 권한이 없습니다 (not authorized)");
    default:
        break;
    }
    const QString library = m_lastLibraryError.isEmpty() ? QString() : QStringLiteral(": ") + m_lastLibraryError;
    switch (rc) {
    case MOSQ_ERR_TLS:
        return (m_endpoint.caFile.isEmpty()
                    ? QStringLiteral("TLS 연결을 맺을 수 없습니다. 브로커 인증서를 시스템 CA로 확인할 수 없습니다")
                    : QStringLiteral("TLS 연결을 맺을 수 없습니다. 브로커 인증서를 CA 파일 %1로 확인할 수 없습니다")
                          .arg(m_endpoint.caFile))
               + QStringLiteral(" (TLS error%1)").arg(library);
    case MOSQ_ERR_EAI:
        return QStringLiteral("호스트 %1을(를) 찾을 수 없습니다 (unknown host)").arg(m_endpoint.host);
    case MOSQ_ERR_ERRNO:
        return QStringLiteral("연결할 수 없습니다 (%1)").arg(QString::fromLocal8Bit(std::strerror(savedErrno)));
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("브로커가 응답하지 않습니다 (keepalive timeout)");
    case MOSQ_ERR_INVAL:
    case MOSQ_ERR_NOT_SUPPORTED:
        return QStringLiteral("MQTT 라이브러리가 연결을 시도하지 않습니다 (%1%2)").arg(QString::fromUtf8(mosquitto_strerror(rc)), library);
    default:
        return QStringLiteral("연결이 끊겼습니다 (%1%2)").arg(QString::fromUtf8(mosquitto_strerror(rc)), library);
    }
}

void MqttLink::waitBeforeRetry()
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_retryMs);
    while (!m_stop) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd fd{m_wakeFd, POLLIN, 0};
        ::poll(&fd, 1, int(left));
        quint64 count = 0;
        if (::read(m_wakeFd, &count, sizeof count) < 0) {
            // Woken by the timeout, not by a message.
        }
    }
    m_retryMs = std::min(m_retryMs * 2, kMaxRetryMs);
}

void MqttLink::closeCleanly()
{
    if (!m_socketOpen)
        return;
    mosquitto_disconnect(m_mosq);
    for (int i = 0; i < 10 && mosquitto_socket(m_mosq) >= 0; ++i) {
        if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
    m_socketOpen = false;
    m_connectedShared = false;
}

void MqttLink::onConnect(mosquitto*, void* self, int rc)
{
    static_cast<MqttLink*>(self)->m_connackCode = rc;
}

void MqttLink::onPublish(mosquitto*, void* self, int)
{
    auto* link = static_cast<MqttLink*>(self);
    if (link->m_inFlight > 0)
        --link->m_inFlight;
    if (link->m_inFlightShared.load() > 0)
        --link->m_inFlightShared;
    ++link->m_delivered;
    link->noteChange();
}

void MqttLink::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* link = static_cast<MqttLink*>(self);
    if (link->m_retainedReading && message->retain && link->m_retainedTopic == message->topic)
        link->m_retainedPayload = QByteArray(static_cast<const char*>(message->payload), message->payloadlen);
}

void MqttLink::onUnsubscribe(mosquitto*, void* self, int mid)
{
    auto* link = static_cast<MqttLink*>(self);
    if (link->m_retainedReading && mid == link->m_retainedMid)
        link->endRetainedRead();
}

void MqttLink::onLog(mosquitto*, void* self, int level, const char* text)
{
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        static_cast<MqttLink*>(self)->m_lastLibraryError = QString::fromUtf8(text);
}
