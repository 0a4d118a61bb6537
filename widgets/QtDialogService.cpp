#include "widgets/QtDialogService.h"

#include "settings/FuncP.h"
#include "settings/IniFile.h"
#include "settings/KeloError.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/Colors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QTreeView>
#include <QWindow>

namespace {

// Wide enough for a long record name and whole size, type and date columns.
const QSize kFirstFileDialogSize(960, 600);
const QString kSizeSection = QStringLiteral("FileDialog");
const QString kSizeKey = QStringLiteral("Size");

QWidget* ownerWindow(QWidget* owner)
{
    QWidget* w = owner ? owner->window() : QApplication::activeWindow();
    return w && w->isVisible() ? w : nullptr;
}

QSize parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&okW), parts[1].toInt(&okH)) : QSize();
    return okW && okH && size.width() > 0 && size.height() > 0 ? size : QSize();
}

} // namespace

void showOverOwner(QDialog& dialog, QWidget* owner)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    QWidget* window = ownerWindow(owner);
    if (!window)
        return;
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle())
        handle->setTransientParent(window->windowHandle());
    dialog.move(window->frameGeometry().center() - dialog.rect().center());
}

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
    QMessageBox box;
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
    box.adjustSize();
    showOverOwner(box, owner);
    const int pressed = box.exec();
    if (!yesNo)
        return MsgResult::Ok;
    return pressed == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

QSize QtDialogService::fileDialogSize(const QWidget* owner) const
{
    if (!m_fileDialogSize.isValid() && !ProgramPath.isEmpty())
        m_fileDialogSize = parseSize(IniFile(MainIniPath()).read(kSizeSection, kSizeKey));
    QSize size = m_fileDialogSize.isValid() ? m_fileDialogSize : kFirstFileDialogSize;
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen)
        size = size.boundedTo(screen->availableSize() * 0.95);
    return size;
}

void QtDialogService::rememberFileDialogSize(QSize size)
{
    if (size == fileDialogSize(nullptr))
        return;
    m_fileDialogSize = size;
    if (ProgramPath.isEmpty())
        return;
    try {
        IniFile(MainIniPath()).write(kSizeSection, kSizeKey,
                                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    } catch (const KeloError&) {
        // A dialog's size is not worth an error box; it is kept for this run.
    }
}

QString QtDialogService::runFileDialog(QWidget* owner, bool save, const QString& start, const QString& filter)
{
    QFileDialog dialog(nullptr, QString(), start, filter);
    // Qt's own dialog: in Korean, sized by us and free of any window's style.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Qt's own replace question is never shown: the program asks its own.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(fileDialogSize(owner));
    // Size, type and date are shown whole; the name takes the rest.
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int c = 1; c < header->count(); ++c)
            header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    showOverOwner(dialog, owner);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    rememberFileDialogSize(dialog.size());
    return accepted ? dialog.selectedFiles().value(0) : QString();
}

QString QtDialogService::openFileName(QWidget* owner, const FileDialogRequest& request)
{
    return runFileDialog(owner, false, request.startDir, qtNameFilter(request.filter));
}

QString QtDialogService::saveFileName(QWidget* owner, const FileDialogRequest& request)
{
    QString start = request.startDir;
    if (!request.proposedName.isEmpty())
        start = QDir(request.startDir).filePath(request.proposedName);
    // A No to the program's replace question opens the dialog again on that name.
    for (;;) {
        const QString name = runFileDialog(owner, true, start, qtNameFilter(request.filter));
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
    QColorDialog dialog(colorFromValue(initial));
    showOverOwner(dialog, owner);
    if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid())
        return std::nullopt;
    return colorValue(dialog.selectedColor());
}

void QtDialogService::errorBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    box.adjustSize();
    showOverOwner(box, owner);
    box.exec();
}
