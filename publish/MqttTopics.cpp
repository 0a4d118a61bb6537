#include "publish/MqttTopics.h"

#include "settings/KeloError.h"

#include <QCryptographicHash>
#include <QSet>

#include <algorithm>

namespace MqttTopics {

namespace {

constexpr qsizetype kObjectIdText = 64;
const QString kChannelsLevel = QStringLiteral("/channels"); // the longest fixed topic under a prefix

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

QString codePoint(char32_t c)
{
    return QStringLiteral("U+") + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

qsizetype utf8Size(const QString& text)
{
    return text.toUtf8().size();
}

} // namespace

QString levelProblem(const QString& level)
{
    if (level.isEmpty())
        return QStringLiteral("빈 단계가 있습니다");
    if (level.startsWith(QLatin1Char('$')))
        return QStringLiteral("단계가 $로 시작할 수 없습니다 ($로 시작하는 주제는 브로커의 것입니다)");
    for (const char32_t c : level.toUcs4()) {
        if (c == U'/')
            return QStringLiteral("한 단계에 / 를 쓸 수 없습니다");
        if (c == U'+' || c == U'#')
            return QStringLiteral("+ 나 # 를 쓸 수 없습니다 (구독 와일드카드입니다)");
        if (isControl(c))
            return QStringLiteral("제어 문자 %1을(를) 쓸 수 없습니다").arg(codePoint(c));
        if (QChar::isNonCharacter(c) || QChar::isSurrogate(c))
            return QStringLiteral("유니코드 비문자 %1을(를) 쓸 수 없습니다").arg(codePoint(c));
    }
    return {};
}

QString prefixProblem(const QString& prefix, qsizetype longestSuffixBytes)
{
    for (const QString& level : prefix.split(QLatin1Char('/'))) {
        if (const QString problem = levelProblem(level); !problem.isEmpty())
            return problem;
    }
    if (utf8Size(prefix) + std::max(longestSuffixBytes, utf8Size(kChannelsLevel)) > kMaxTopicBytes)
        return QStringLiteral("접두어가 너무 깁니다 (주제는 UTF-8로 %1바이트까지)").arg(kMaxTopicBytes);
    return {};
}

QString status(const QString& prefix)
{
    return prefix + QStringLiteral("/status");
}

QString state(const QString& prefix)
{
    return prefix + QStringLiteral("/state");
}

QString channels(const QString& prefix)
{
    return prefix + kChannelsLevel;
}

QString health(const QString& prefix, const QString& addr)
{
    return prefix + QStringLiteral("/health/station/") + addr;
}

QStringList channelTopics(const QString& prefix, const QList<ChannelDef>& channels)
{
    QStringList topics;
    QSet<QString> taken;
    topics.reserve(channels.size());
    for (qsizetype k = 0; k < channels.size(); ++k) {
        const ChannelDef& c = channels[k];
        const auto refuse = [&](const QString& field, const QString& value, const QString& problem) {
            // Channel k (from 0) is row k + 1 of the window's list and line k + 2 of the set file.
            throw KeloError(QStringLiteral("채널 %1 (설정파일 %2번째 줄)의 %3 '%4'은(는) MQTT 주제의 단계가 될 수 "
                                           "없습니다: %5")
                                .arg(k + 1)
                                .arg(k + 2)
                                .arg(field, value.left(40), problem));
        };
        if (const QString problem = levelProblem(c.Addr); !problem.isEmpty())
            refuse(QStringLiteral("Addr"), c.Addr, problem);
        if (const QString problem = levelProblem(c.Reg); !problem.isEmpty())
            refuse(QStringLiteral("Reg"), c.Reg, problem);
        const QString base = prefix + QLatin1Char('/') + c.Addr + QLatin1Char('/') + c.Reg;
        QString topic = base;
        for (int n = 2; taken.contains(topic); ++n)
            topic = base + QLatin1Char('-') + QString::number(n);
        if (utf8Size(topic) > kMaxTopicBytes || utf8Size(health(prefix, c.Addr)) > kMaxTopicBytes)
            refuse(QStringLiteral("Addr/Reg"), c.Addr + QLatin1Char('/') + c.Reg,
                   QStringLiteral("주제가 UTF-8로 %1바이트를 넘습니다").arg(kMaxTopicBytes));
        taken.insert(topic);
        topics.append(topic);
    }
    return topics;
}

QString objectId(const QString& valueTopic)
{
    QString text;
    for (const QChar c : valueTopic) {
        if (text.size() == kObjectIdText)
            break;
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
                           || c == QLatin1Char('_');
        text += plain ? c : QLatin1Char('_');
    }
    const QByteArray hash = QCryptographicHash::hash(valueTopic.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return text + QLatin1Char('_') + QString::fromLatin1(hash);
}

qsizetype discoveryConfigSuffixBytes()
{
    return utf8Size(discoveryConfig(QString(), QString(kObjectIdText, QLatin1Char('x'))));
}

QString discoveryConfig(const QString& discoveryPrefix, const QString& valueTopic)
{
    return discoveryPrefix + QStringLiteral("/sensor/") + objectId(valueTopic) + QStringLiteral("/config");
}

} // namespace MqttTopics
