// Qt's own dialogs under the program's application object: Korean texts,
// filters read once, and only the program's own replace question.
#include "tests/app/AppTestMain.h"
#include "tests/support/Files.h"
#include "widgets/QtDialogService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

bool hasHangul(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3)
            return true;
    return false;
}

// Runs `step` on the modal dialog of type T as soon as it is shown.
template <typename T>
void whenShown(const std::function<void(T*)>& step)
{
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, step] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            step(dialog);
        }
    });
    poll->start();
}

void pickFile(QFileDialog* dialog, const QString& path)
{
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

void answer(QMessageBox* box, QMessageBox::StandardButton button, QString* asked)
{
    *asked += box->text();
    box->button(button)->click();
}

} // namespace

TEST(QtDialogs, SpeakKorean)
{
    QFileDialog dialog(nullptr, QString(), QDir::tempPath(), QStringLiteral("모니터링파일(*.kmr)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        const auto* label = dialog.findChild<QLabel*>(name);
        ASSERT_TRUE(label) << name;
        EXPECT_TRUE(hasHangul(label->text())) << name << ": " << label->text().toStdString();
    }
    const auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_TRUE(buttons);
    for (QAbstractButton* b : buttons->buttons())
        EXPECT_TRUE(hasHangul(b->text())) << b->text().toStdString();
}

TEST(QtDialogs, FilterDescriptionsThatNameTheirPatternsReadOnce)
{
    EXPECT_EQ(qtNameFilter(QStringLiteral("모니터링파일(*.kmr)|*.kmr")), QStringLiteral("모니터링파일(*.kmr)"));
    EXPECT_EQ(qtNameFilter(QStringLiteral("설정파일|*.khd|모든파일|*.*")),
              QStringLiteral("설정파일 (*.khd);;모든파일 (*.*)"));
    EXPECT_EQ(qtNameFilter(QStringLiteral("Excel(*.xls;*.xlsx)|*.xls;*.xlsx")), QStringLiteral("Excel(*.xls *.xlsx)"));
}

TEST(QtDialogs, ReplacingAFileAsksOnlyTheProgramsOwnQuestion)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("run1.kmr"));
    writeBytes(existing, "kept\r\n");
    QtDialogService dialogs;
    const FileDialogRequest request{QStringLiteral("모니터링파일(*.kmr)|*.kmr"), dir.path(), QString(), true};

    // No, then the dialog again on that name; Yes takes it.
    QString asked;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            answer(box, QMessageBox::No, &asked);
            whenShown<QFileDialog>([&](QFileDialog* again) {
                whenShown<QMessageBox>([&](QMessageBox* box2) { answer(box2, QMessageBox::Yes, &asked); });
                pickFile(again, existing);
            });
        });
        pickFile(d, existing);
    });
    EXPECT_EQ(dialogs.saveFileName(nullptr, request), existing);
    EXPECT_EQ(asked, replaceQuestion(existing) + replaceQuestion(existing));

    // A new name, or a request that asks nothing, asks nothing.
    const QString fresh = dir.filePath(QStringLiteral("run2.kmr"));
    whenShown<QFileDialog>([&](QFileDialog* d) { pickFile(d, fresh); });
    EXPECT_EQ(dialogs.saveFileName(nullptr, request), fresh);
    whenShown<QFileDialog>([&](QFileDialog* d) { pickFile(d, existing); });
    EXPECT_EQ(dialogs.saveFileName(nullptr, {request.filter, dir.path(), QString(), false}), existing);
    EXPECT_EQ(readBytes(existing), "kept\r\n");
}

// The data viewer's red splitter once showed as a thick red bar in its CSV
// save dialog, and every file dialog opened at 598×412 with its columns cut.
TEST(QtDialogs, FileDialogsKeepClearOfTheOwnersStyleAndOpenAtTheSizeLastGiven)
{
    ProgramDir program;
    QWidget owner;
    auto* splitter = new QSplitter(&owner);
    splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: red; }"
                                           " QWidget { background-color: red; }"));
    auto* inside = new QWidget(splitter);
    splitter->addWidget(inside);
    splitter->addWidget(new QWidget(splitter));
    owner.resize(300, 200);
    owner.show();

    const auto redPixels = [](QWidget* w) {
        const QImage shot = w->grab().toImage();
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                red += shot.pixel(x, y) == qRgb(255, 0, 0);
        return red;
    };
    const FileDialogRequest request{QStringLiteral("CSV|*.csv"), QDir::tempPath(), QStringLiteral("chart.csv"), false};
    QSize opened;
    int red = -1;
    const auto openAndResize = [&](QtDialogService& dialogs, QSize to) {
        whenShown<QFileDialog>([&, to](QFileDialog* d) {
            opened = d->size();
            red = redPixels(d);
            d->resize(to);
            d->reject();
        });
        EXPECT_EQ(dialogs.saveFileName(inside, request), QString());
    };
    QtDialogService dialogs;
    openAndResize(dialogs, QSize(700, 450));
    EXPECT_EQ(red, 0);
    EXPECT_GT(opened.width(), 598);
    EXPECT_GT(opened.height(), 412);
    openAndResize(dialogs, QSize(650, 430));
    EXPECT_EQ(opened, QSize(700, 450));
    // The next run of the program opens at the size given last.
    QtDialogService nextRun;
    openAndResize(nextRun, QSize(650, 430));
    EXPECT_EQ(opened, QSize(650, 430));
}
