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

// "--name=value" or "--name" (its value, if it takes one, the next argument).
struct Argument {
    QString name;
    QString value;
    bool inlineValue = false;
};

Argument splitArgument(const QString& text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (!text.startsWith(QLatin1String("--")) || equals < 0)
        return {text, {}, false};
    return {text.left(equals), text.mid(equals + 1), true};
}

// A value of --delay or --timeout in milliseconds; "" when it is read, else what is wrong.
QString readMilliseconds(std::optional<int>& into, const QString& name, const QString& value)
{
    const auto ms = parseInt32(value);
    if (!ms || *ms <= 0 || *ms > kMaxPollDelayMs)
        return QStringLiteral("%1 takes a whole number of milliseconds from 1 to %2, not \"%3\"")
            .arg(name)
            .arg(kMaxPollDelayMs)
            .arg(value);
    into = *ms;
    return {};
}

QString readPace(RecorderOptions::Pace& into, const QString& value)
{
    if (value == QLatin1String("fixed"))
        into = RecorderOptions::Pace::Fixed;
    else if (value == QLatin1String("reply"))
        into = RecorderOptions::Pace::Reply;
    else
        return QStringLiteral("--pace takes \"fixed\" or \"reply\", not \"%1\"").arg(value);
    return {};
}

bool takesValue(const QString& name)
{
    static const QStringList checked = {QStringLiteral("--line"), QStringLiteral("--delay"),
                                        QStringLiteral("--timeout"), QStringLiteral("--rotate"),
                                        QStringLiteral("--pace")};
    return checked.contains(name) || lineOption(name).has_value();
}

// An option whose value is checked (not just kept as text) applied to the
// options; "" when it is read, else what is wrong.
QString applyCheckedValue(RecorderOptions& o, const QString& name, const QString& value)
{
    if (const auto setting = lineOption(name)) {
        const auto settings = lineSetting(*setting, value);
        if (!settings)
            return QStringLiteral("%1 takes %2, not \"%3\"").arg(name, choices(*setting), value);
        o.lineSettings << *settings;
        return {};
    }
    if (name == QLatin1String("--line"))
        return readLine(o.lineSettings, value);
    if (name == QLatin1String("--delay"))
        return readMilliseconds(o.delayMs, name, value);
    if (name == QLatin1String("--timeout"))
        return readMilliseconds(o.responseTimeoutMs, name, value);
    if (name == QLatin1String("--pace"))
        return readPace(o.pace, value);
    // --rotate
    if (value != QLatin1String("daily"))
        return QStringLiteral("--rotate takes \"daily\", not \"%1\"").arg(value);
    o.rotateDaily = true;
    return {};
}

// The set file named once, and the service's settings file (when given) there.
QString checkSetFile(RecorderOptions& o, QStringList sets)
{
    sets.removeAll(QString());
    // The service gives its settings file, so a mistake there is named.
    if (!o.confFile.isEmpty() && !QFileInfo::exists(o.confFile))
        return QStringLiteral("%1 does not exist: copy /usr/share/doc/kelomon/examples/kelorec.conf there and "
                              "set KELOREC_SET in it")
            .arg(o.confFile);
    if (!o.confFile.isEmpty() && sets.isEmpty())
        return QStringLiteral("%1 gives no KELOREC_SET (the channel set file to record)").arg(o.confFile);
    if (sets.size() != 1)
        return sets.isEmpty() ? QStringLiteral("no channel set file (.khd) given")
                              : QStringLiteral("one channel set file, not %1").arg(sets.size());
    o.setPath = sets.front();
    return {};
}

} // namespace

RecorderArguments parseRecorderArguments(const QStringList& arguments)
{
    RecorderArguments r;
    RecorderOptions& o = r.options;
    QStringList sets;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        Argument a = splitArgument(arguments[i]);
        QString* slot = valueSlot(o, a.name);
        if ((slot || takesValue(a.name)) && !a.inlineValue) {
            if (i + 1 >= arguments.size()) {
                r.error = QStringLiteral("%1 needs a value").arg(a.name);
                return r;
            }
            a.value = arguments[++i];
        }
        if (a.name == QLatin1String("--help") || a.name == QLatin1String("-h")) {
            r.help = true;
        } else if (a.name == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (a.name == QLatin1String("--mqtt-discovery")) {
            // The prefix is optional, so only --mqtt-discovery=PREFIX gives one.
            if (a.inlineValue && a.value.isEmpty()) {
                r.error = QStringLiteral("--mqtt-discovery= needs a prefix (or no \"=\" for homeassistant)");
                return r;
            }
            o.mqttDiscovery = a.inlineValue ? a.value : QStringLiteral("homeassistant");
        } else if (slot) {
            *slot = a.value;
        } else if (takesValue(a.name)) {
            if (const QString wrong = applyCheckedValue(o, a.name, a.value); !wrong.isEmpty()) {
                r.error = wrong;
                return r;
            }
        } else if (a.name.startsWith(QLatin1Char('-')) && a.name.size() > 1) {
            r.error = QStringLiteral("unknown option %1").arg(a.name);
            return r;
        } else {
            sets << arguments[i];
        }
    }
    if (!r.help)
        r.error = checkSetFile(o, sets);
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
