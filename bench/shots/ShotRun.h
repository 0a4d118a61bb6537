#pragma once
// What the screenshot programs share: letting the windows run for a while,
// writing their files, and a picture of the whole screen.
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <cstdio>

// Runs the event loop, so timers, ports and windows go on, for ms.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// "import -window root <prefix>-<step>.png" (ImageMagick), once the windows
// have drawn what is pending.
inline void shot(const QString& prefix, const char* step)
{
    QApplication::processEvents();
    const QString file = prefix + QLatin1Char('-') + QLatin1String(step) + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("shot %s\n", qPrintable(file));
}
