#pragma once
// What the screenshot programs share: letting the windows run for a while,
// writing their files, and a picture of the whole screen.
#include "settings/FuncP.h"
#include "widgets/Fonts.h"
#include "widgets/QtDialogService.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <optional>

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

// Real file dialogs unless a name is given; every other question is answered
// at once and printed.
class ShotDialogs : public QtDialogService {
public:
    QString openName, saveName;
    int MsgBox(QWidget*, const QString& text, const QString&, int) override
    {
        std::printf("message: %s\n", qPrintable(text));
        return MsgResult::Yes;
    }
    QString openFileName(QWidget* owner, const FileDialogRequest& request) override
    {
        return openName.isEmpty() ? QtDialogService::openFileName(owner, request) : openName;
    }
    QString saveFileName(QWidget* owner, const FileDialogRequest& request) override
    {
        return saveName.isEmpty() ? QtDialogService::saveFileName(owner, request) : saveName;
    }
    void errorBox(QWidget*, const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
};

// The programs' start: our fonts and pictures, then "<program folder>
// <prefix>" from the command line; the folder becomes the program's, with
// its Monitor folder made. The prefix, or none after the usage is said.
inline std::optional<QString> startShotProgram(int argc, char** argv)
{
    installFontSubstitutions();
    initKeloResources();
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <program folder> <prefix>\n", argv[0]);
        return std::nullopt;
    }
    SetProgramPath(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    QDir().mkpath(MonitorDir());
    return QString::fromLocal8Bit(argv[2]);
}
