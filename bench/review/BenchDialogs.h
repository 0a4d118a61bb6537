#pragma once
#include "widgets/DialogService.h"

#include <cstdio>

// Dialog answers for the scenario programs: the file names given, Yes to
// every question; messages are printed.
class BenchDialogs : public DialogService {
public:
    QString openName, saveName;
    int MsgBox(QWidget*, const QString& text, const QString&, int) override
    {
        std::printf("message: %s\n", qPrintable(text));
        return MsgResult::Yes;
    }
    QString openFileName(QWidget*, const FileDialogRequest&) override { return openName; }
    QString saveFileName(QWidget*, const FileDialogRequest&) override { return saveName; }
    std::optional<int> color(QWidget*, int) override { return std::nullopt; }
    void errorBox(QWidget*, const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
};
