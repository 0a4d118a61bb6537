#pragma once
#include "settings/KeloError.h"

#include <QByteArray>
#include <QString>

// Where live values are published, as the operator gives it: the [MQTT]
// section of Main.ini, or kelorec's --mqtt options. Texts as typed.
struct MqttSettings {
    QString url;          // mqtt://host[:port][/prefix] or mqtts://...
    QString user;         // empty: no user name
    QString passwordFile; // file holding the password (one trailing line end is dropped)
    QString caFile;       // CA certificates (PEM) for mqtts; empty: the system's
    QString discovery;    // Home Assistant discovery prefix; empty: no discovery
    QString unit;         // unit_of_measurement of the discovered sensors; empty: none

    // Publishing is on only when a URL is given.
    [[nodiscard]] bool isSet() const { return !url.trimmed().isEmpty(); }
};

// The [MQTT] section (keys Url, User, PasswordFile, CaFile, Discovery, Unit)
// of an INI file. Only reads: a file without the section is left untouched.
// Relative file names count from the INI file's folder. Discovery= takes the
// discovery prefix; 1, on, yes or true mean "homeassistant", and empty, 0,
// off, no or false leave discovery off.
[[nodiscard]] MqttSettings readMqttSettings(const QString& iniFileName);

inline const QString kDefaultDiscoveryPrefix = QStringLiteral("homeassistant");

// Which setting a refusal is about, so each program names it its own way.
enum class MqttSetting { Url, User, PasswordFile, CaFile, Discovery, Unit };
[[nodiscard]] QString mqttOptionName(MqttSetting setting); // kelorec: "--mqtt-cafile"
[[nodiscard]] QString mqttIniKey(MqttSetting setting);     // the window: "[MQTT] CaFile"

// A setting that cannot serve. text() is the window's message (naming the
// Main.ini key); reason() is one line, for kelorec to put after its option.
class MqttSettingsError : public KeloError {
public:
    MqttSettingsError(MqttSetting setting, const QString& value, const QString& reason);
    [[nodiscard]] MqttSetting setting() const { return m_setting; }
    [[nodiscard]] const QString& value() const { return m_value; }
    [[nodiscard]] const QString& reason() const { return m_reason; }
    // "--mqtt-cafile /etc/x.pem: ..." in one line.
    [[nodiscard]] QString optionLine() const;

private:
    MqttSetting m_setting;
    QString m_value;
    QString m_reason;
};

// A checked broker address with everything a connection needs.
struct MqttEndpoint {
    static constexpr quint16 kDefaultPort = 1883;
    static constexpr quint16 kDefaultTlsPort = 8883;

    bool tls = false;
    QString host;
    quint16 port = kDefaultPort;
    QString prefix;       // topic prefix, levels without an empty one, no leading or trailing "/"
    QString user;
    QByteArray password;  // empty with no password file
    bool hasPassword = false;
    QString caFile;
    QString discovery;    // checked discovery prefix; empty: off
    QString unit;

    // Checks the settings and reads the password file. Throws
    // MqttSettingsError (bad URL, prefix that cannot be a topic, unreadable
    // file, ...). A URL without a path publishes under
    // "kelo/<host name of this machine>".
    [[nodiscard]] static MqttEndpoint fromSettings(const MqttSettings& settings);

    // The URL in its full form, for logs and tool tips: mqtt://host:1883/prefix
    [[nodiscard]] QString displayUrl() const;
};

// The prefix used when the URL has no path.
[[nodiscard]] QString defaultMqttPrefix();
