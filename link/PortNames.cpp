#include "link/PortNames.h"

#include "settings/FuncP.h"
#include "settings/IniFile.h"

#include <QFile>
#include <QSerialPortInfo>
#include <algorithm>
#include <sys/stat.h>

namespace {

bool isCharacterDevice(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

} // namespace

QStringList SortPortNames(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QStringList unique;
    for (const QString& name : names)
        if (unique.isEmpty() || unique.last().compare(name, Qt::CaseInsensitive) != 0)
            unique.append(name);
    return unique;
}

QStringList ListPortNames(const QString& configuredPort, const QString& simulatorLink)
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        names.append(info.portName());
    if (!simulatorLink.isEmpty() && isCharacterDevice(simulatorLink))
        names.append(simulatorLink);
    if (const QString port = configuredPort.trimmed(); !port.isEmpty())
        names.append(port);
    return SortPortNames(names);
}

QStringList ListPortNames()
{
    if (ProgramPath.isEmpty())
        return ListPortNames(QString());
    const QString configured = IniFile(MainIniPath()).read(QStringLiteral("ComPort1"), QStringLiteral("Port"));
    return ListPortNames(configured, ProgramPath + QLatin1String(kSimulatorLinkName));
}
