#include "sim/ProgramSetup.h"

#include "settings/IniFile.h"
#include "settings/KeloError.h"

#include <QDir>
#include <QFileInfo>

ChannelSet sampleChannelSet()
{
    ChannelSet set;
    set.Title = QStringLiteral("샘플 가열로");
    set.Sampling = QStringLiteral("1000");
    set.channels = {
        {"01", QStringLiteral("1존 PV"), "0001", "1", "1200", "-100", "255"},
        {"01", QStringLiteral("1존 SV"), "0301", "1", "1200", "-100", "33023"},
        {"02", QStringLiteral("2존 PV"), "0001", "1", "1200", "-100", "16711680"},
        {"02", QStringLiteral("2존 SV"), "0301", "1", "1200", "-100", "16744448"},
    };
    return set;
}

QString prepareProgramDir(const QString& dir, const QString& link)
{
    const IniFile ini(QDir(dir).filePath(QStringLiteral("Main.ini")));
    const QString port = ini.read(QStringLiteral("ComPort1"), QStringLiteral("Port"));
    if (!port.isEmpty())
        return QFileInfo(port).fileName() == QLatin1String(kSimLinkName) ? port : QString();

    const auto fill = [&ini](const char* section, const char* key, const QString& value) {
        if (ini.read(QLatin1String(section), QLatin1String(key)).isEmpty())
            ini.write(QLatin1String(section), QLatin1String(key), value);
    };
    fill("ComPort1", "Port", link);
    fill("ComPort1", "BaudRate", QStringLiteral("9600"));
    fill("ComPort1", "Parity", QStringLiteral("None"));
    fill("ComPort1", "DataBits", QStringLiteral("8"));
    fill("ComPort1", "StopBits", QStringLiteral("1"));
    fill("Delay", "Time", QStringLiteral("200"));

    const QString monitor = QDir(dir).filePath(QStringLiteral("Monitor"));
    const QString sample = QDir(monitor).filePath(QStringLiteral("sample.khd"));
    if (!QFileInfo::exists(sample)) {
        if (!QDir().mkpath(monitor))
            throw KeloError(QStringLiteral("Unable to write to %1").arg(sample));
        writeChannelSetFile(sample, sampleChannelSet());
    }
    return link;
}
