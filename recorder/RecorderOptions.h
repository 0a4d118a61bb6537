#pragma once
#include "link/LineSettingsCheck.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What kelorec is told on its command line.
struct RecorderOptions {
    enum class Pace { Fixed, Reply };

    QString setPath;
    QString programDir;          // empty: the executable's folder
    QString port;                // empty: [ComPort1] Port of Main.ini
    // --baud, --parity, --data-bits, --stop-bits and --line, in the order
    // given, each already checked; they win over Main.ini.
    QList<std::pair<LineSetting, QString>> lineSettings;
    QString confFile;            // the service's settings file, named when it is missing or gives no set
    std::optional<int> delayMs;  // empty: [Delay] Time of Main.ini
    std::optional<int> responseTimeoutMs; // empty: the default wait for a reply
    QString outDir;              // empty: the set file's folder
    bool rotateDaily = false;
    Pace pace = Pace::Fixed;
    bool verbose = false;
    QString mqttUrl;
    QString mqttUser;
    QString mqttPasswordFile;
    QString mqttCaFile;
    QString mqttDiscovery;       // null: no discovery
    QString mqttUnit;
};

struct RecorderArguments {
    RecorderOptions options;
    bool help = false;
    QString error; // a bad argument: what is wrong with it
};

// Reads the arguments after the program name.
[[nodiscard]] RecorderArguments parseRecorderArguments(const QStringList& arguments);
[[nodiscard]] QString recorderUsage();
