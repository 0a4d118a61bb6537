#include "publish/MqttSettings.h"

#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>

namespace {

const char* const kSection = "MQTT";

QString urlFormHint()
{
    return QStringLiteral("형식: mqtt://호스트:포트/접두어 또는 mqtts://호스트:포트/접두어");
}

[[noreturn]] void badUrl(const QString& url, const QString& why)
{
    throw KeloError(QStringLiteral("MQTT 주소가 올바르지 않습니다: %1\n%2\n%3").arg(url, why, urlFormHint()));
}

QString resolvedAgainst(const QString& dir, const QString& fileName)
{
    if (fileName.isEmpty() || QDir::isAbsolutePath(fileName))
        return fileName;
    return QDir(dir).filePath(fileName);
}

QByteArray readPassword(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw KeloError(QStringLiteral("MQTT 비밀번호 파일을 읽을 수 없습니다: %1 (%2)")
                            .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    QByteArray password = file.readAll();
    // Editors end the one line with a line end; it is not part of the password.
    if (password.endsWith('\n'))
        password.chop(1);
    if (password.endsWith('\r'))
        password.chop(1);
    return password;
}

} // namespace

MqttSettings readMqttSettings(const QString& iniFileName)
{
    IniFile ini(iniFileName);
    const QString dir = QFileInfo(iniFileName).absolutePath();
    MqttSettings settings;
    settings.url = ini.read(kSection, QStringLiteral("Url"));
    settings.user = ini.read(kSection, QStringLiteral("User"));
    settings.passwordFile = resolvedAgainst(dir, ini.read(kSection, QStringLiteral("PasswordFile")));
    settings.caFile = resolvedAgainst(dir, ini.read(kSection, QStringLiteral("CaFile")));
    return settings;
}

QString defaultMqttPrefix()
{
    QString host = QSysInfo::machineHostName();
    host.remove(QLatin1Char('/')).remove(QLatin1Char('+')).remove(QLatin1Char('#'));
    return host.isEmpty() ? QStringLiteral("kelo") : QStringLiteral("kelo/") + host;
}

MqttEndpoint MqttEndpoint::fromSettings(const MqttSettings& settings)
{
    const QString text = settings.url.trimmed();
    if (text.isEmpty())
        badUrl(text, QStringLiteral("주소가 비어 있습니다."));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        badUrl(text, QStringLiteral("mqtt:// 또는 mqtts:// 로 시작해야 합니다."));
    if (url.host().isEmpty())
        badUrl(text, QStringLiteral("호스트가 없습니다."));
    if (!url.userInfo().isEmpty())
        badUrl(text, QStringLiteral("사용자 이름과 비밀번호는 주소가 아니라 User, PasswordFile 설정으로 줍니다."));
    if (url.hasQuery() || url.hasFragment())
        badUrl(text, QStringLiteral("주소에 ? 나 # 뒤의 부분을 쓸 수 없습니다."));
    if (url.port() == 0)
        badUrl(text, QStringLiteral("포트는 1에서 65535 사이여야 합니다."));

    MqttEndpoint endpoint;
    endpoint.tls = scheme == QLatin1String("mqtts");
    endpoint.host = url.host();
    endpoint.port = url.port() > 0 ? quint16(url.port()) : (endpoint.tls ? kDefaultTlsPort : kDefaultPort);

    QString prefix = url.path(QUrl::FullyDecoded);
    while (prefix.startsWith(QLatin1Char('/')))
        prefix.remove(0, 1);
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        badUrl(text, QStringLiteral("접두어에 + 나 # 를 쓸 수 없습니다."));
    if (prefix.contains(QLatin1String("//")))
        badUrl(text, QStringLiteral("접두어에 빈 단계(//)가 있습니다."));
    endpoint.prefix = prefix.isEmpty() ? defaultMqttPrefix() : prefix;

    endpoint.user = settings.user.trimmed();
    if (!settings.passwordFile.trimmed().isEmpty()) {
        if (endpoint.user.isEmpty())
            throw KeloError(QStringLiteral("MQTT 비밀번호 파일은 사용자 이름(User)과 함께 지정해야 합니다."));
        endpoint.password = readPassword(settings.passwordFile.trimmed());
        endpoint.hasPassword = true;
    }

    endpoint.caFile = settings.caFile.trimmed();
    if (!endpoint.caFile.isEmpty()) {
        if (!endpoint.tls)
            throw KeloError(QStringLiteral("MQTT CA 파일은 mqtts:// 주소에서만 씁니다: %1").arg(text));
        QFile ca(endpoint.caFile);
        if (!ca.open(QIODevice::ReadOnly))
            throw KeloError(QStringLiteral("MQTT CA 파일을 읽을 수 없습니다: %1 (%2)")
                                .arg(QDir::toNativeSeparators(endpoint.caFile), ca.errorString()));
    }
    return endpoint;
}

QString MqttEndpoint::displayUrl() const
{
    const QString hostText = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3/%4").arg(tls ? "mqtts" : "mqtt", hostText).arg(port).arg(prefix);
}
