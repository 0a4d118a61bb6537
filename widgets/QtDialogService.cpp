#include "widgets/QtDialogService.h"

#include "widgets/ApplicationTitle.h"
#include "widgets/Colors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString qtNameFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already names its patterns ("모니터링파일(*.kmr)")
        // is a whole Qt filter; adding them again would show them twice.
        QString description = parts[i];
        const QString own = QLatin1Char('(') + parts[i + 1] + QLatin1Char(')');
        if (description.endsWith(own)) {
            description.chop(own.size());
            filters << description + QLatin1Char('(') + patterns + QLatin1Char(')');
        } else {
            filters << QStringLiteral("%1 (%2)").arg(description, patterns);
        }
    }
    return filters.join(QStringLiteral(";;"));
}

int QtDialogService::MsgBox(QWidget* owner, const QString& text, const QString& caption, int style)
{
    QMessageBox box(owner ? owner : QApplication::activeWindow());
    box.setText(text);
    box.setWindowTitle(caption);
    switch (style & 0xF0) {
    case 16: box.setIcon(QMessageBox::Critical); break;
    case 32: box.setIcon(QMessageBox::Question); break;
    case 48: box.setIcon(QMessageBox::Warning); break;
    case 64: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    const bool yesNo = (style & 0x0F) == 4;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("예(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("아니요(&N)"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    }
    const int pressed = box.exec();
    if (!yesNo)
        return MsgResult::Ok;
    return pressed == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

QString QtDialogService::openFileName(QWidget* owner, const FileDialogRequest& request)
{
    return QFileDialog::getOpenFileName(owner, QString(), request.startDir,
                                        qtNameFilter(request.filter));
}

QString QtDialogService::saveFileName(QWidget* owner, const FileDialogRequest& request)
{
    QString start = request.startDir;
    if (!request.proposedName.isEmpty())
        start = QDir(request.startDir).filePath(request.proposedName);
    // Qt's own replace question is never shown: the program asks its own,
    // in its own words, and a No opens the dialog again on that name.
    for (;;) {
        const QString name = QFileDialog::getSaveFileName(owner, QString(), start, qtNameFilter(request.filter),
                                                          nullptr, QFileDialog::DontConfirmOverwrite);
        if (name.isEmpty() || !request.confirmOverwrite || !QFileInfo::exists(name))
            return name;
        if (MsgBox(owner, replaceQuestion(name), QStringLiteral("확인"), MsgStyle::YesNoQuestion) == MsgResult::Yes)
            return name;
        start = name;
    }
}

QString replaceQuestion(const QString& path)
{
    return QStringLiteral("%1\n파일이 이미 있습니다. 바꾸시겠습니까?").arg(path);
}

std::optional<int> QtDialogService::color(QWidget* owner, int initial)
{
    const QColor chosen = QColorDialog::getColor(colorFromValue(initial), owner);
    if (!chosen.isValid())
        return std::nullopt;
    return colorValue(chosen);
}

void QtDialogService::errorBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text,
                    QMessageBox::Ok, owner ? owner : QApplication::activeWindow());
    box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    box.exec();
}
