#include "settings/FuncP.h"

#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

QString ProgramPath;

namespace {

// Where packages put programs; /bin is /usr/bin on a merged-/usr system.
const char* const kSystemProgramDirs[] = {"/usr/bin", "/bin", "/usr/local/bin", "/usr/games"};

} // namespace

bool isInstalledProgramDir(const QString& exeDir)
{
    const QString dir = QDir(exeDir).canonicalPath();
    for (const char* system : kSystemProgramDirs) {
        if (dir == QDir(QString::fromLatin1(system)).canonicalPath())
            return true;
    }
    // access() asks the kernel, so a read-only mount counts as well as the mode bits.
    return dir.isEmpty() || ::access(QFile::encodeName(dir).constData(), W_OK) != 0;
}

QString installedProgramDir()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/kelomon"));
}

QString programDirFor(const QString& exeDir)
{
    return isInstalledProgramDir(exeDir) ? installedProgramDir() : exeDir;
}

void SetProgramPath()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString dir = programDirFor(exeDir);
    // The windows write their defaults into Main.ini and report a failure then.
    if (dir != exeDir)
        (void)createProgramDir(dir);
    SetProgramPath(dir);
}

bool createProgramDir(const QString& dir)
{
    if (!QDir().mkpath(dir))
        return false;
    QFile ini(QDir(dir).filePath(QStringLiteral("Main.ini")));
    return ini.exists() || ini.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

void SetProgramPath(const QString& dir)
{
    ProgramPath = QDir::toNativeSeparators(QDir(dir).absolutePath());
    if (!ProgramPath.endsWith(QDir::separator()))
        ProgramPath += QDir::separator();
}

QString MainIniPath()
{
    return ProgramPath + QStringLiteral("Main.ini");
}

QString MonitorDir()
{
    return ProgramPath + QStringLiteral("Monitor");
}

QString IniReadOrWrite(bool read, const QString& fileName, const QString& section,
                       const QString& key, const QString& defaultValue)
{
    IniFile ini(fileName);
    if (read) {
        QString value = ini.read(section, key);
        if (!value.isEmpty())
            return value;
        // A settings file that cannot be read gives the defaults; writing one
        // back would fail or, worse, replace every setting it holds.
        if (ini.unreadable())
            return defaultValue;
    }
    ini.write(section, key, defaultValue);
    return defaultValue;
}

int HexWordToInt(const QString& text)
{
    int sum = 0;
    int weight = 1;
    for (qsizetype i = text.size() - 1, position = 1; i >= 0; --i, ++position) {
        const QChar c = text.at(i);
        int digit;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            digit = c.unicode() - 'A' + 10;
        else
            return BadHexValue;
        if (position <= 4) {
            sum += digit * weight;
            weight *= 16;
        }
    }
    return sum >= 32768 ? sum - 65536 : sum;
}

QString PadLeft(const QString& text, const QString& pad, int width)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() < 33)
        ++b;
    while (e > b && text.at(e - 1).unicode() < 33)
        --e;
    QString result = text.mid(b, e - b);
    const qsizetype missing = width - result.size();
    if (missing > 0 && !pad.isEmpty())
        result.prepend(pad.repeated(missing));
    return result;
}

QString GetField(const QString& text, int field)
{
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char(';'))
            continue;
        if (++count == field)
            return text.mid(start, i - start);
        start = i + 1;
    }
    return text.mid(start);
}
