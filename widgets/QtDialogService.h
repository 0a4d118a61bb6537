#pragma once
#include "widgets/DialogService.h"

// The real dialogs: Qt message boxes and file and colour dialogs.
class QtDialogService : public DialogService {
public:
    int MsgBox(QWidget* owner, const QString& text, const QString& caption, int style) override;
    QString openFileName(QWidget* owner, const FileDialogRequest& request) override;
    QString saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<int> color(QWidget* owner, int initial) override;
    void errorBox(QWidget* owner, const QString& text) override;
};
