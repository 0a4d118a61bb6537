#include "recorder/RecorderOptions.h"

#include "monitoring/PollTiming.h"
#include "settings/Convert.h"

#include <QFileInfo>

namespace {

using LineSettings = QList<std::pair<LineSetting, QString>>;

// A baud rate given as an option: one of the settings dialog's rates, or any
// other whole number above 0 as a custom rate.
std::optional<LineSettings> baudSettings(const QString& text)
{
    TComPortSettings scratch;
    if (text.compare(QLatin1String("Custom"), Qt::CaseInsensitive) != 0
        && applyLineSetting(scratch, LineSetting::BaudRate, text))
        return LineSettings{{LineSetting::BaudRate, text}};
    if (applyLineSetting(scratch, LineSetting::CustomBaudRate, text))
        return LineSettings{{LineSetting::BaudRate, QStringLiteral("Custom")}, {LineSetting::CustomBaudRate, text}};
    return std::nullopt;
}

QString baudChoices()
{
    return BaudRateTexts().mid(1).join(QStringLiteral(", ")) + QStringLiteral(" or another whole number above 0");
}

// One line option's value as settings; nothing when it is none of the setting's values.
std::optional<LineSettings> lineSetting(LineSetting setting, const QString& text)
{
    if (setting == LineSetting::BaudRate)
        return baudSettings(text);
    TComPortSettings scratch;
    if (!applyLineSetting(scratch, setting, text))
        return std::nullopt;
    return LineSettings{{setting, text}};
}

QString choices(LineSetting setting)
{
    return setting == LineSetting::BaudRate ? baudChoices() : lineSettingChoices(setting);
}

std::optional<LineSetting> lineOption(const QString& name)
{
    if (name == QLatin1String("--baud"))
        return LineSetting::BaudRate;
    if (name == QLatin1String("--parity"))
        return LineSetting::Parity;
    if (name == QLatin1String("--data-bits"))
        return LineSetting::DataBits;
    if (name == QLatin1String("--stop-bits"))
        return LineSetting::StopBits;
    return std::nullopt;
}

// --line BAUD,PARITY,DATA,STOP; "" when it is read, else what is wrong.
QString readLine(LineSettings& into, const QString& value)
{
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != 4)
        return QStringLiteral("--line takes BAUD,PARITY,DATA-BITS,STOP-BITS, for example 9600,None,8,1, not \"%1\"")
            .arg(value);
    const LineSetting order[] = {LineSetting::BaudRate, LineSetting::Parity, LineSetting::DataBits,
                                 LineSetting::StopBits};
    for (int i = 0; i < 4; ++i) {
        const auto settings = lineSetting(order[i], parts[i].trimmed());
        if (!settings)
            return QStringLiteral("--line %1: %2 takes %3, not \"%4\"")
                .arg(value, lineSettingKey(order[i]), choices(order[i]), parts[i]);
        into << *settings;
    }
    return {};
}

// Options that take a value, and where each value goes.
QString* valueSlot(RecorderOptions& o, const QString& name)
{
    if (name == QLatin1String("--program-dir"))
        return &o.programDir;
    if (name == QLatin1String("--port"))
        return &o.port;
    if (name == QLatin1String("--out"))
        return &o.outDir;
    if (name == QLatin1String("--conf"))
        return &o.confFile;
    if (name == QLatin1String("--mqtt"))
        return &o.mqttUrl;
    if (name == QLatin1String("--mqtt-user"))
        return &o.mqttUser;
    if (name == QLatin1String("--mqtt-password-file"))
        return &o.mqttPasswordFile;
    if (name == QLatin1String("--mqtt-cafile"))
        return &o.mqttCaFile;
    if (name == QLatin1String("--mqtt-unit"))
        return &o.mqttUnit;
    return nullptr;
}

} // namespace

RecorderArguments parseRecorderArguments(const QStringList& arguments)
{
    RecorderArguments r;
    RecorderOptions& o = r.options;
    QStringList sets;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool inlineValue = false;
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))) {
            value = name.mid(name.indexOf(QLatin1Char('=')) + 1);
            name = name.left(name.indexOf(QLatin1Char('=')));
            inlineValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= arguments.size()) {
                r.error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments[++i];
            return true;
        };
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            r.help = true;
        } else if (name == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (name == QLatin1String("--mqtt-discovery")) {
            // The prefix is optional, so only --mqtt-discovery=PREFIX gives one.
            if (inlineValue && value.isEmpty()) {
                r.error = QStringLiteral("--mqtt-discovery= needs a prefix (or no \"=\" for homeassistant)");
                return r;
            }
            o.mqttDiscovery = inlineValue ? value : QStringLiteral("homeassistant");
        } else if (QString* slot = valueSlot(o, name)) {
            if (!takeValue())
                return r;
            *slot = value;
        } else if (const auto setting = lineOption(name)) {
            if (!takeValue())
                return r;
            const auto settings = lineSetting(*setting, value);
            if (!settings) {
                r.error = QStringLiteral("%1 takes %2, not \"%3\"").arg(name, choices(*setting), value);
                return r;
            }
            o.lineSettings << *settings;
        } else if (name == QLatin1String("--line")) {
            if (!takeValue())
                return r;
            if (const QString wrong = readLine(o.lineSettings, value); !wrong.isEmpty()) {
                r.error = wrong;
                return r;
            }
        } else if (name == QLatin1String("--delay") || name == QLatin1String("--timeout")) {
            if (!takeValue())
                return r;
            const auto ms = parseInt32(value);
            if (!ms || *ms <= 0 || *ms > kMaxPollDelayMs) {
                r.error = QStringLiteral("%1 takes a whole number of milliseconds from 1 to %2, not \"%3\"")
                              .arg(name)
                              .arg(kMaxPollDelayMs)
                              .arg(value);
                return r;
            }
            (name == QLatin1String("--delay") ? o.delayMs : o.responseTimeoutMs) = *ms;
        } else if (name == QLatin1String("--rotate")) {
            if (!takeValue())
                return r;
            if (value != QLatin1String("daily")) {
                r.error = QStringLiteral("--rotate takes \"daily\", not \"%1\"").arg(value);
                return r;
            }
            o.rotateDaily = true;
        } else if (name == QLatin1String("--pace")) {
            if (!takeValue())
                return r;
            if (value == QLatin1String("fixed"))
                o.pace = RecorderOptions::Pace::Fixed;
            else if (value == QLatin1String("reply"))
                o.pace = RecorderOptions::Pace::Reply;
            else {
                r.error = QStringLiteral("--pace takes \"fixed\" or \"reply\", not \"%1\"").arg(value);
                return r;
            }
        } else if (name.startsWith(QLatin1Char('-')) && name.size() > 1) {
            r.error = QStringLiteral("unknown option %1").arg(name);
            return r;
        } else {
            sets << arguments[i];
        }
    }
    if (r.help)
        return r;
    sets.removeAll(QString());
    // The service gives its settings file, so a mistake there is named.
    if (!o.confFile.isEmpty() && !QFileInfo::exists(o.confFile)) {
        r.error = QStringLiteral("%1 does not exist: copy /usr/share/doc/kelomon/examples/kelorec.conf there and "
                                 "set KELOREC_SET in it")
                      .arg(o.confFile);
        return r;
    }
    if (!o.confFile.isEmpty() && sets.isEmpty()) {
        r.error = QStringLiteral("%1 gives no KELOREC_SET (the channel set file to record)").arg(o.confFile);
        return r;
    }
    if (sets.size() != 1)
        r.error = sets.isEmpty() ? QStringLiteral("no channel set file (.khd) given")
                                 : QStringLiteral("one channel set file, not %1").arg(sets.size());
    else
        o.setPath = sets.front();
    return r;
}

QString recorderUsage()
{
    return QStringLiteral(
        "Usage: kelorec [options] SET.khd\n"
        "Records the channels of a channel set from the controllers on a serial line, without a window.\n"
        "\n"
        "  --program-dir DIR   folder whose Main.ini gives the line settings (default: the folder of the executable)\n"
        "  --port DEV          overrides [ComPort1] Port\n"
        "  --baud RATE         overrides [ComPort1] BaudRate: 110 ... 256000, or another rate in bits per second\n"
        "  --parity P          overrides [ComPort1] Parity: None, Odd, Even, Mark or Space\n"
        "  --data-bits N       overrides [ComPort1] DataBits: 5, 6, 7 or 8\n"
        "  --stop-bits N       overrides [ComPort1] StopBits: 1, 1.5 or 2\n"
        "  --line B,P,D,S      all four at once, for example 9600,None,8,1\n"
        "  --delay MS          overrides [Delay] Time (the poll interval, at most 3600000)\n"
        "  --timeout MS        the wait for a reply before a request counts as unanswered (default 500;\n"
        "                      never less than twice the line's exchange time plus 50)\n"
        "  --out DIR           folder for record files (default: the set file's folder)\n"
        "  --rotate daily      start a new record file at local midnight\n"
        "  --pace fixed|reply  fixed: one request per poll interval (default);\n"
        "                      reply: the next request as soon as the reply is complete, or after --timeout\n"
        "  --mqtt URL          publish live values to an MQTT broker: mqtt://host:port/prefix or mqtts://...\n"
        "  --mqtt-user NAME    user name at the broker\n"
        "  --mqtt-password-file FILE  file holding the broker password\n"
        "  --mqtt-cafile FILE  certificate authority for mqtts:// (default: the system's)\n"
        "  --mqtt-discovery[=PREFIX]  Home Assistant discovery configs under PREFIX (default homeassistant)\n"
        "  --mqtt-unit UNIT    unit_of_measurement of the discovered sensors\n"
        "  --verbose           log every frame sent and received\n"
        "  --conf FILE         the service's settings file, named when it is missing or gives no set\n"
        "  --help              this text\n"
        "\n"
        "SIGINT or SIGTERM ends the run once the kept-back lines are written (exit status 0);\n"
        "lines that still cannot be written give exit status 1. Bad arguments or settings (MQTT options\n"
        "included) give exit status 2.\n");
}
