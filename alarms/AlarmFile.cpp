#include "alarms/AlarmFile.h"

#include "alarms/AlarmText.h"
#include "settings/KeloError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cmath>

Q_LOGGING_CATEGORY(lcAlarmFile, "kelo.alarms.file")

namespace {

const QString kSuffix = QStringLiteral(".alarms.ini");

std::optional<double> parseNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = text.toDouble(&ok); // always '.', whatever the locale
    return ok && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

struct Broken {
    int line;
    QString what;
};

QString brokenText(const QString& path, int line, const QString& what)
{
    const QString where = line > 0 ? QStringLiteral(" %1번째 줄").arg(line) : QString();
    return QStringLiteral("경보 파일 \"%1\"%2: %3\n채널 경보 없이 시스템 경보만으로 계속합니다. 채널 설정 편집기에서 "
                          "경보을 다시 저장하세요.")
        .arg(QDir::toNativeSeparators(path), where, what);
}

// The sections of the file, checked against the set. Throws Broken.
AlarmSettings parse(const QString& text, const ChannelSet& set)
{
    AlarmSettings settings;
    settings.channels.resize(set.channels.size());
    QList<bool> seen(set.channels.size(), false);
    // Names and sections are taken in any case, as in the program's other INI files.
    static const QRegularExpression section(QStringLiteral("^\\[\\s*Channel\\s+([0-9]{1,6})\\s*\\]$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QStringList lines = text.split(QLatin1Char('\n'));
    int channel = 0;      // the section's channel, 0 before the first
    int sectionLine = 0;
    bool addrSeen = false, regSeen = false;
    const auto closeSection = [&] {
        if (channel == 0)
            return;
        if (!addrSeen || !regSeen)
            throw Broken{sectionLine, QStringLiteral("[Channel %1]에 Addr 또는 Reg가 없습니다.").arg(channel)};
        if (const QString problem = alarmDefProblem(settings.channels[channel - 1]); !problem.isEmpty())
            throw Broken{sectionLine, QStringLiteral("[Channel %1]: %2").arg(channel).arg(problem)};
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            closeSection();
            const auto m = section.match(line);
            if (!m.hasMatch())
                throw Broken{lineNo, QStringLiteral("\"%1\"은(는) [Channel 번호] 형식의 구역이 아닙니다.").arg(line)};
            channel = m.captured(1).toInt();
            if (channel < 1 || channel > set.channels.size())
                throw Broken{lineNo, QStringLiteral("채널 %1은(는) 채널 설정에 없습니다 (채널 %2개).")
                                         .arg(channel)
                                         .arg(set.channels.size())};
            if (seen[channel - 1])
                throw Broken{lineNo, QStringLiteral("[Channel %1]이(가) 두 번 있습니다.").arg(channel)};
            seen[channel - 1] = true;
            sectionLine = lineNo;
            addrSeen = regSeen = false;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw Broken{lineNo, QStringLiteral("\"%1\"은(는) 이름=값 줄이 아닙니다.").arg(line)};
        if (channel == 0)
            throw Broken{lineNo, QStringLiteral("첫 [Channel 번호] 구역 앞에 값이 있습니다.")};
        const QString key = line.left(eq).trimmed();
        const auto is = [&key](const char* name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
        const QString value = line.mid(eq + 1).trimmed();
        ChannelAlarmDef& def = settings.channels[channel - 1];
        const ChannelDef& ch = set.channels[channel - 1];
        const auto number = [&]() -> std::optional<double> {
            if (value.isEmpty())
                return std::nullopt;
            const auto v = parseNumber(value);
            if (!v)
                throw Broken{lineNo, QStringLiteral("%1=%2: 숫자가 아닙니다 (소수점은 '.').").arg(key, value)};
            return v;
        };
        if (is("Addr") || is("Reg")) {
            const bool addr = is("Addr");
            const QString& expected = addr ? ch.Addr : ch.Reg;
            if (value != expected)
                throw Broken{lineNo, QStringLiteral("[Channel %1]의 %2=%3이(가) 채널 설정의 %4와(과) 다릅니다. 채널 "
                                                    "설정이 경보 파일 없이 바뀌었습니다.")
                                         .arg(channel)
                                         .arg(key, value, expected)};
            (addr ? addrSeen : regSeen) = true;
        } else if (is("High")) {
            def.high = number();
        } else if (is("Low")) {
            def.low = number();
        } else if (is("Hysteresis")) {
            def.hysteresis = number().value_or(0);
        } else if (is("Delay")) {
            static const QRegularExpression whole(QStringLiteral("^[0-9]{1,6}$"));
            if (!value.isEmpty() && !whole.match(value).hasMatch())
                throw Broken{lineNo, QStringLiteral("Delay=%1: 0에서 %2 사이의 정수 초가 아닙니다.")
                                         .arg(value)
                                         .arg(kMaxAlarmDelaySeconds)};
            def.onDelaySeconds = value.isEmpty() ? 0 : value.toInt();
        } else if (is("Priority")) {
            const auto p = value.isEmpty() ? std::optional(AlarmPriority::Alarm) : parseAlarmPriority(value.toLower());
            if (!p)
                throw Broken{lineNo, QStringLiteral("Priority=%1: alarm 또는 warning이어야 합니다.").arg(value)};
            def.priority = *p;
        } else {
            // A misspelt name would silently drop a limit: refused.
            throw Broken{lineNo, QStringLiteral("알 수 없는 이름 \"%1\"").arg(key)};
        }
    }
    closeSection();
    return settings;
}

QString setNameOf(const QString& alarmPath)
{
    QString name = QFileInfo(alarmPath).fileName();
    if (name.endsWith(kSuffix))
        name.chop(kSuffix.size());
    return name + QStringLiteral(".khd");
}

} // namespace

QString alarmFilePath(const QString& setPath)
{
    QString path = setPath;
    if (path.endsWith(QLatin1String(".khd")))
        path.chop(4);
    return path + kSuffix;
}

QString alarmDefProblem(const ChannelAlarmDef& def)
{
    for (const auto& v : {def.high, def.low})
        if (v && !std::isfinite(*v))
            return QStringLiteral("한계값이 유한한 수가 아닙니다.");
    if (def.high && def.low && !(*def.high > *def.low))
        return QStringLiteral("상한 %1이(가) 하한 %2보다 커야 합니다.")
            .arg(alarmNumberText(*def.high), alarmNumberText(*def.low));
    if (!std::isfinite(def.hysteresis) || def.hysteresis < 0)
        return QStringLiteral("히스테리시스 %1은(는) 0 이상이어야 합니다.").arg(alarmNumberText(def.hysteresis));
    if (def.onDelaySeconds < 0 || def.onDelaySeconds > kMaxAlarmDelaySeconds)
        return QStringLiteral("지연 %1초는 0에서 %2초 사이여야 합니다.").arg(def.onDelaySeconds).arg(kMaxAlarmDelaySeconds);
    return {};
}

AlarmFileRead readAlarmFile(const QString& path, const ChannelSet& set)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {{}, brokenText(path, 0, QStringLiteral("읽을 수 없습니다 (%1).").arg(file.errorString()))};
    if (file.size() > kMaxAlarmFileBytes)
        return {{}, brokenText(path, 0, QStringLiteral("%1바이트를 넘는 파일은 경보 파일이 아닙니다.").arg(kMaxAlarmFileBytes))};
    QByteArray bytes = file.read(kMaxAlarmFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {{}, brokenText(path, 0, QStringLiteral("읽을 수 없습니다 (%1).").arg(file.errorString()))};
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return {{}, brokenText(path, 0, QStringLiteral("UTF-8 글자가 아닌 바이트가 있습니다."))};
    try {
        return {parse(text, set), {}};
    } catch (const Broken& b) {
        qCWarning(lcAlarmFile) << "alarm file not taken:" << path << b.line << b.what;
        return {{}, brokenText(path, b.line, b.what)};
    }
}

void writeAlarmFile(const QString& path, const AlarmSettings& settings, const ChannelSet& set)
{
    const qsizetype n = std::min(settings.channels.size(), set.channels.size());
    QByteArray out = "; Alarm limits of the channel set " + setNameOf(path).toUtf8()
                     + ", in each channel's displayed units\n";
    bool any = false;
    for (qsizetype i = 0; i < n; ++i) {
        const ChannelAlarmDef& def = settings.channels[i];
        if (!def.any())
            continue;
        if (const QString problem = alarmDefProblem(def); !problem.isEmpty())
            throw KeloError(QStringLiteral("채널 %1 (%2)의 경보을 저장할 수 없습니다: %3")
                                .arg(i + 1)
                                .arg(set.channels[i].Caption, problem));
        const ChannelDef& ch = set.channels[i];
        const auto number = [](const std::optional<double>& v) { return v ? alarmNumberText(*v) : QString(); };
        QString section = QStringLiteral("[Channel %1]\nAddr=%2\nReg=%3\nHigh=%4\nLow=%5\nHysteresis=%6\nDelay=%7\n"
                                         "Priority=%8\n")
                              .arg(i + 1)
                              .arg(ch.Addr, ch.Reg, number(def.high), number(def.low),
                                   alarmNumberText(def.hysteresis))
                              .arg(def.onDelaySeconds)
                              .arg(alarmPriorityName(def.priority));
        out += section.toUtf8();
        any = true;
    }
    if (!any) {
        // No limit: no file, so an older one cannot come back with the set.
        QFile old(path);
        if (old.exists() && !old.remove())
            throw KeloError(QStringLiteral("경보 파일 \"%1\"을(를) 지울 수 없습니다: %2")
                                .arg(QDir::toNativeSeparators(path), old.errorString()));
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        throw KeloError(QStringLiteral("경보 파일 \"%1\"을(를) 저장할 수 없습니다: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
}
