// The desktop opener the viewer hands its workbooks to: a handler that ends
// with a failure is reported, one that succeeds is not.
#include "tests/support/EventWait.h"
#include "widgets/FileOpener.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(FileOpener, AHandlerThatEndsWithAFailureIsReported)
{
    QTemporaryDir bin;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + oldPath);
    const auto opener = [&](int exitCode) {
        QFile script(QDir(bin.path()).filePath("xdg-open"));
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write("#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/opened\"\nexit " + QByteArray::number(exitCode) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(QDir(bin.path()).filePath("opened"));
    };
    for (const int exitCode : {0, 3}) {
        opener(exitCode);
        bool failed = false;
        ASSERT_TRUE(desktopFileOpener()("/tmp/run (2).xlsx", [&] { failed = true; }));
        const QString opened = QDir(bin.path()).filePath("opened");
        waitUntil([&] { return QFile::exists(opened) && QFile(opened).size() > 0; });
        // The handler's end comes as an event: a failure is reported at once,
        // a success not within half a second.
        QDeadlineTimer settle(500);
        while (!failed && !settle.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QFile got(opened);
        got.open(QIODevice::ReadOnly);
        EXPECT_EQ(got.readAll(), "/tmp/run (2).xlsx\n");
        EXPECT_EQ(failed, exitCode != 0) << exitCode;
    }
    qputenv("PATH", oldPath);
}
