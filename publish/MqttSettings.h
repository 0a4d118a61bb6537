#pragma once
#include <QByteArray>
#include <QString>

// Where live values are published, as the operator gives it: the [MQTT]
// section of Main.ini, or kelorec's --mqtt options. Texts as typed.
struct MqttSettings {
    QString url;          // mqtt://host[:port][/prefix] or mqtts://...
    QString user;         // empty: no user name
    QString passwordFile; // file holding the password (one trailing line end is dropped)
    QString caFile;       // CA certificates (PEM) for mqtts; empty: the system's

    // Publishing is on only when a URL is given.
    [[nodiscard]] bool isSet() const { return !url.trimmed().isEmpty(); }
};

// The [MQTT] section (keys Url, User, PasswordFile, CaFile) of an INI file.
// Only reads: a file without the section is left untouched. Relative file
// names count from the INI file's folder.
[[nodiscard]] MqttSettings readMqttSettings(const QString& iniFileName);

// A checked broker address with everything a connection needs.
struct MqttEndpoint {
    static constexpr quint16 kDefaultPort = 1883;
    static constexpr quint16 kDefaultTlsPort = 8883;

    bool tls = false;
    QString host;
    quint16 port = kDefaultPort;
    QString prefix;       // topic prefix without leading or trailing "/"
    QString user;
    QByteArray password;  // empty with no password file
    bool hasPassword = false;
    QString caFile;

    // Checks the settings and reads the password file. Throws KeloError with
    // a message for the operator (bad URL, unreadable file, ...).
    // A URL without a path publishes under "kelo/<host name of this machine>".
    [[nodiscard]] static MqttEndpoint fromSettings(const MqttSettings& settings);

    // The URL in its full form, for logs and tool tips: mqtt://host:1883/prefix
    [[nodiscard]] QString displayUrl() const;
};

// The prefix used when the URL has no path.
[[nodiscard]] QString defaultMqttPrefix();
