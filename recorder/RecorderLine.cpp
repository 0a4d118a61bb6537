#include "recorder/RecorderLine.h"

#include "link/LineSettingsCheck.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kSection = QStringLiteral("ComPort1");

// The number of the first line that an INI reader would pass over without a
// word: neither blank, a ";" comment, a [section] nor a key=value line; 0 when
// there is none. A file of garbage would otherwise read as "no settings".
int firstStrayLine(const QByteArray& data)
{
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const bool understood = line.isEmpty() || line.startsWith(';')
            || (line.startsWith('[') && line.endsWith(']')) || (line.indexOf('=') > 0);
        if (!understood || line.contains('\0'))
            return int(i) + 1;
    }
    return 0;
}

QString joinedNames(const QStringList& names)
{
    return names.join(QStringLiteral(", "));
}

} // namespace

RecorderLine loadRecorderLine(const QString& programDir, bool given, const RecorderOptions& options)
{
    RecorderLine r;
    TComPortSettings& s = r.settings;
    if (given && !QFileInfo(programDir).isDir()) {
        r.refusal = QStringLiteral("--program-dir %1: no such folder").arg(programDir);
        return r;
    }
    const QString ini = QDir(programDir).filePath(QStringLiteral("Main.ini"));

    // Keys the options do not set are read from the file ([Delay] Time too,
    // by the recorder).
    bool fromOptions[5] = {};
    for (const auto& [setting, text] : options.lineSettings)
        fromOptions[int(setting)] = true;
    const bool fileUsed = options.port.isEmpty() || !options.delayMs || !fromOptions[int(LineSetting::BaudRate)]
        || !fromOptions[int(LineSetting::Parity)] || !fromOptions[int(LineSetting::DataBits)]
        || !fromOptions[int(LineSetting::StopBits)];

    QByteArray data;
    QString fileNote;
    QFile file(ini);
    if (!file.exists()) {
        fileNote = QStringLiteral("%1 does not exist").arg(ini);
    } else if (!file.open(QIODevice::ReadOnly) || (data = file.readAll(), file.error() != QFileDevice::NoError)) {
        fileNote = QStringLiteral("%1 cannot be read: %2").arg(ini, file.errorString());
        data.clear();
    } else if (const int stray = firstStrayLine(data); stray > 0 && fileUsed) {
        r.refusal = QStringLiteral("%1 line %2 is no setting (neither [section] nor key=value): the file is "
                                   "damaged. Mend it, or give every line setting as an option.")
                        .arg(ini)
                        .arg(stray);
        return r;
    }

    QStringList defaulted;
    const auto fromFile = [&](LineSetting setting) {
        if (fromOptions[int(setting)])
            return true;
        const QString key = lineSettingKey(setting);
        const QString text = IniFile::valueIn(data, kSection, key);
        if (text.isEmpty()) {
            defaulted << key;
            return true;
        }
        if (applyLineSetting(s, setting, text))
            return true;
        r.refusal = QStringLiteral("%1 in [%2] of %3 is \"%4\", which is none of %5")
                        .arg(key, kSection, ini, text, lineSettingChoices(setting));
        return false;
    };
    for (const LineSetting setting : {LineSetting::BaudRate, LineSetting::Parity, LineSetting::DataBits,
                                      LineSetting::StopBits}) {
        if (!fromFile(setting))
            return r;
    }
    // A Custom rate from the file needs its number from the file too.
    if (s.BaudRate == brCustom && !fromOptions[int(LineSetting::CustomBaudRate)]) {
        const QString rate = IniFile::valueIn(data, kSection, QStringLiteral("CustomBaudRate"));
        if (!applyLineSetting(s, LineSetting::CustomBaudRate, rate)) {
            r.refusal = QStringLiteral("BaudRate in [%1] of %2 is Custom, but CustomBaudRate is \"%3\", not %4")
                            .arg(kSection, ini, rate, lineSettingChoices(LineSetting::CustomBaudRate));
            return r;
        }
    }
    for (const auto& [setting, text] : options.lineSettings)
        (void)applyLineSetting(s, setting, text); // checked when the options were read

    const QString port = IniFile::valueIn(data, kSection, QStringLiteral("Port"));
    if (!options.port.isEmpty()) {
        s.Port = options.port;
    } else if (!port.isEmpty()) {
        s.Port = port;
    } else {
        r.portDefaulted = true;
        r.portNote = QStringLiteral(" (the default: no --port, and %1)")
                         .arg(fileNote.isEmpty() ? QStringLiteral("no Port in ") + ini : fileNote);
    }

    const int fromFileCount = 4 - int(defaulted.size())
        - int(fromOptions[int(LineSetting::BaudRate)] + fromOptions[int(LineSetting::Parity)]
              + fromOptions[int(LineSetting::DataBits)] + fromOptions[int(LineSetting::StopBits)]);
    QStringList sources;
    if (!options.lineSettings.isEmpty())
        sources << QStringLiteral("the options");
    if (fromFileCount > 0)
        sources << ini;
    if (!defaulted.isEmpty())
        sources << (fileNote.isEmpty() ? QStringLiteral("defaults for %1").arg(joinedNames(defaulted))
                                       : QStringLiteral("defaults, as %1").arg(fileNote));
    r.settingsNote = QStringLiteral(" from ") + sources.join(QStringLiteral(" and "));
    return r;
}
