#pragma once
#include "widgets/DialogService.h"

#include <QSize>

class QDialog;

// The real dialogs: Qt message boxes and file and colour dialogs.
//
// A dialog is never a child of the window that opens it, so that window's
// style sheet (a viewer's splitter colour, a panel's background) never
// reaches it; it stays modal over the window all the same. File dialogs open
// at a size that shows their columns whole, then at the size the operator
// last gave one (kept in Main.ini, [FileDialog] Size).
class QtDialogService : public DialogService {
public:
    int MsgBox(QWidget* owner, const QString& text, const QString& caption, int style) override;
    QString openFileName(QWidget* owner, const FileDialogRequest& request) override;
    QString saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<int> color(QWidget* owner, int initial) override;
    void errorBox(QWidget* owner, const QString& text) override;

    // The size the next file dialog opens at, within the screen of `owner`.
    [[nodiscard]] QSize fileDialogSize(const QWidget* owner) const;

private:
    [[nodiscard]] QString runFileDialog(QWidget* owner, bool save, const QString& start, const QString& filter);
    void rememberFileDialogSize(QSize size);

    mutable QSize m_fileDialogSize;   // read from Main.ini on first use
};

// Makes `dialog` (created without a parent) modal over the window of `owner`
// and centred on it, without inheriting that window's style sheet.
void showOverOwner(QDialog& dialog, QWidget* owner);
