#include "widgets/FileOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

FileOpener desktopFileOpener()
{
    return [](const QString& path, std::function<void()> failed) {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        auto* process = new QProcess;
        process->setProgram(opener);
        process->setArguments({path});
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::finished, process,
                         [process, failed](int code, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || code != 0)
                                 failed();
                             process->deleteLater();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                failed();
                process->deleteLater();
            }
        });
        process->start();
        return true;
    };
}
