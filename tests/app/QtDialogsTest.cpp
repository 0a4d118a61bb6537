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
