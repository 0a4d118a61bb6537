#include "publish/MqttSettings.h"

#include "publish/MqttTopics.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>

namespace {

const char* const kSection = "MQTT";

const QString kUrlForm = QStringLiteral("형식: mqtt://호스트:포트/접두어 또는 mqtts://호스트:포트/접두어");

[[noreturn]] void badUrl(const QString& url, const QString& why)
{
    throw MqttSettingsError(MqttSetting::Url, url, why + QStringLiteral(" (") + kUrlForm + QLatin1Char(')'));
}

QString resolvedAgainst(const QString& dir, const QString& fileName)
{
    if (fileName.isEmpty() || QDir::isAbsolutePath(fileName))
        return fileName;
    return QDir(dir).filePath(fileName);
}

// The whole file, or a refusal naming the setting: missing, unreadable, a folder.
QByteArray readWholeFile(MqttSetting setting, const QString& fileName, const QString& what)
{
    const QFileInfo info(fileName);
    QString why;
    if (!info.exists())
        why = QStringLiteral("%1이(가) 없습니다").arg(what);
    else if (info.isDir())
        why = QStringLiteral("%1이(가) 아니라 폴더입니다").arg(what);
    QFile file(fileName);
    if (why.isEmpty() && !file.open(QIODevice::ReadOnly))
        why = QStringLiteral("%1을(를) 읽을 수 없습니다 (%2)").arg(what, file.errorString());
    if (!why.isEmpty())
        throw MqttSettingsError(setting, QDir::toNativeSeparators(fileName), why);
    return file.readAll();
}

QByteArray readPassword(const QString& fileName)
{
    QByteArray password = readWholeFile(MqttSetting::PasswordFile, fileName, QStringLiteral("비밀번호 파일"));
    // Editors end the one line with a line end; it is not part of the password.
    if (password.endsWith('\n'))
        password.chop(1);
    if (password.endsWith('\r'))
        password.chop(1);
    return password;
}

QString discoveryPrefixOf(const QString& text)
{
    const QString value = text.trimmed();
    const QString lower = value.toLower();
    for (const char* off : {"", "0", "off", "no", "false"})
        if (lower == QLatin1String(off))
            return {};
    for (const char* on : {"1", "on", "yes", "true"})
        if (lower == QLatin1String(on))
            return kDefaultDiscoveryPrefix;
    return value;
}

bool isHostCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('.')
           || c == QLatin1Char('_');
}

bool isIpv6Character(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char(':') || c == QLatin1Char('.');
}

// mqtt[s]://host[:port][/prefix], parsed by hand so that each fault gets its
// own message (a general URL parser calls port 99999 an invalid URL).
void parseUrl(const QString& text, MqttEndpoint& endpoint)
{
    if (text.isEmpty())
        badUrl(text, QStringLiteral("주소가 비어 있습니다"));
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QString() : text.left(schemeEnd).toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        badUrl(text, QStringLiteral("mqtt:// 또는 mqtts:// 로 시작해야 합니다"));
    endpoint.tls = scheme == QLatin1String("mqtts");
    const QString rest = text.mid(schemeEnd + 3);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString authority = slash < 0 ? rest : rest.left(slash);
    QString path = slash < 0 ? QString() : rest.mid(slash + 1);
    if (authority.contains(QLatin1Char('@')))
        badUrl(text, QStringLiteral("사용자 이름과 비밀번호는 주소가 아니라 사용자 이름과 비밀번호 파일 설정으로 줍니다"));
    if (text.contains(QLatin1Char('+')) || text.contains(QLatin1Char('#')))
        badUrl(text, QStringLiteral("주소에 + 나 # 를 쓸 수 없습니다 (구독 와일드카드입니다)"));
    if (text.contains(QLatin1Char('?')))
        badUrl(text, QStringLiteral("주소에 ? 뒤의 부분을 쓸 수 없습니다"));

    QString host = authority;
    QString port;
    bool hasPort = false;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0)
            badUrl(text, QStringLiteral("IPv6 주소의 ] 가 없습니다"));
        host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            badUrl(text, QStringLiteral("] 뒤에는 :포트만 올 수 있습니다"));
        hasPort = !after.isEmpty();
        port = after.mid(1);
        if (host.isEmpty() || !std::all_of(host.begin(), host.end(), isIpv6Character) || !host.contains(QLatin1Char(':')))
            badUrl(text, QStringLiteral("IPv6 주소 '%1'이(가) 올바르지 않습니다").arg(host));
    } else {
        const qsizetype colon = authority.indexOf(QLatin1Char(':'));
        hasPort = colon >= 0;
        if (hasPort) {
            host = authority.left(colon);
            port = authority.mid(colon + 1);
        }
        if (host.isEmpty())
            badUrl(text, QStringLiteral("호스트가 없습니다"));
        for (const QChar c : host)
            if (!isHostCharacter(c))
                badUrl(text, QStringLiteral("호스트 이름에 '%1'을(를) 쓸 수 없습니다").arg(c));
    }
    endpoint.host = host.toLower();
    endpoint.port = endpoint.tls ? MqttEndpoint::kDefaultTlsPort : MqttEndpoint::kDefaultPort;
    if (hasPort) {
        const bool digitsOnly = !port.isEmpty() && port.size() <= 5
                                && std::all_of(port.begin(), port.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        const uint number = digitsOnly ? port.toUInt() : 0;
        if (number < 1 || number > 65535)
            badUrl(text, QStringLiteral("포트는 1에서 65535 사이여야 합니다 ('%1')").arg(port.left(12)));
        endpoint.port = quint16(number);
    }

    // One trailing "/" is the end of the URL, not an empty level.
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QByteArray bytes = QByteArray::fromPercentEncoding(path.toUtf8());
    if (!QByteArrayView(bytes).isValidUtf8())
        badUrl(text, QStringLiteral("접두어의 %-인코딩이 UTF-8이 아닙니다"));
    const QString prefix = QString::fromUtf8(bytes);
    if (prefix.isEmpty()) {
        endpoint.prefix = defaultMqttPrefix();
        return;
    }
    if (const QString problem = MqttTopics::prefixProblem(prefix); !problem.isEmpty())
        badUrl(text, QStringLiteral("접두어 '%1'은(는) MQTT 주제가 될 수 없습니다: %2").arg(path.left(60), problem));
    endpoint.prefix = prefix;
}

} // namespace

QString mqttOptionName(MqttSetting setting)
{
    switch (setting) {
    case MqttSetting::Url:
        return QStringLiteral("--mqtt");
    case MqttSetting::User:
        return QStringLiteral("--mqtt-user");
    case MqttSetting::PasswordFile:
        return QStringLiteral("--mqtt-password-file");
    case MqttSetting::CaFile:
        return QStringLiteral("--mqtt-cafile");
    case MqttSetting::Discovery:
        return QStringLiteral("--mqtt-discovery");
    case MqttSetting::Unit:
        return QStringLiteral("--mqtt-unit");
    }
    return {};
}

QString mqttIniKey(MqttSetting setting)
{
    switch (setting) {
    case MqttSetting::Url:
        return QStringLiteral("[MQTT] Url");
    case MqttSetting::User:
        return QStringLiteral("[MQTT] User");
    case MqttSetting::PasswordFile:
        return QStringLiteral("[MQTT] PasswordFile");
    case MqttSetting::CaFile:
        return QStringLiteral("[MQTT] CaFile");
    case MqttSetting::Discovery:
        return QStringLiteral("[MQTT] Discovery");
    case MqttSetting::Unit:
        return QStringLiteral("[MQTT] Unit");
    }
    return {};
}

MqttSettingsError::MqttSettingsError(MqttSetting setting, const QString& value, const QString& reason)
    : KeloError(QStringLiteral("MQTT 설정 %1=%2 을(를) 쓸 수 없습니다.\n%3").arg(mqttIniKey(setting), value.left(200), reason))
    , m_setting(setting)
    , m_value(value)
    , m_reason(reason)
{
}

QString MqttSettingsError::optionLine() const
{
    QString line = QStringLiteral("%1 %2: %3").arg(mqttOptionName(m_setting), m_value.left(200), m_reason);
    for (QChar& c : line)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return line;
}

MqttSettings readMqttSettings(const QString& iniFileName)
{
    IniFile ini(iniFileName);
    const QString dir = QFileInfo(iniFileName).absolutePath();
    MqttSettings settings;
    settings.url = ini.read(kSection, QStringLiteral("Url"));
    settings.user = ini.read(kSection, QStringLiteral("User"));
    settings.passwordFile = resolvedAgainst(dir, ini.read(kSection, QStringLiteral("PasswordFile")));
    settings.caFile = resolvedAgainst(dir, ini.read(kSection, QStringLiteral("CaFile")));
    settings.discovery = discoveryPrefixOf(ini.read(kSection, QStringLiteral("Discovery")));
    settings.unit = ini.read(kSection, QStringLiteral("Unit"));
    return settings;
}

QString defaultMqttPrefix()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() || !MqttTopics::levelProblem(host).isEmpty() ? QStringLiteral("kelo")
                                                                       : QStringLiteral("kelo/") + host;
}

MqttEndpoint MqttEndpoint::fromSettings(const MqttSettings& settings)
{
    MqttEndpoint endpoint;
    parseUrl(settings.url.trimmed(), endpoint);

    endpoint.user = settings.user.trimmed();
    const QString passwordFile = settings.passwordFile.trimmed();
    if (!passwordFile.isEmpty()) {
        if (endpoint.user.isEmpty())
            throw MqttSettingsError(MqttSetting::PasswordFile, passwordFile,
                                    QStringLiteral("비밀번호 파일은 사용자 이름(--mqtt-user, [MQTT] User)과 함께 씁니다"));
        endpoint.password = readPassword(passwordFile);
        endpoint.hasPassword = true;
    }

    endpoint.caFile = settings.caFile.trimmed();
    if (!endpoint.caFile.isEmpty()) {
        if (!endpoint.tls)
            throw MqttSettingsError(MqttSetting::CaFile, endpoint.caFile,
                                    QStringLiteral("CA 파일은 mqtts:// 주소에서만 씁니다 (주소는 %1)").arg(settings.url.trimmed()));
        (void)readWholeFile(MqttSetting::CaFile, endpoint.caFile, QStringLiteral("CA 파일"));
    }

    endpoint.discovery = settings.discovery.trimmed();
    if (!endpoint.discovery.isEmpty()) {
        if (const QString problem =
                MqttTopics::prefixProblem(endpoint.discovery, MqttTopics::discoveryConfigSuffixBytes());
            !problem.isEmpty())
            throw MqttSettingsError(MqttSetting::Discovery, endpoint.discovery,
                                    QStringLiteral("디스커버리 접두어가 MQTT 주제가 될 수 없습니다: %1").arg(problem));
    }
    endpoint.unit = settings.unit.trimmed();
    return endpoint;
}

QString MqttEndpoint::displayUrl() const
{
    const QString hostText = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3/%4").arg(tls ? "mqtts" : "mqtt", hostText).arg(port).arg(prefix);
}
