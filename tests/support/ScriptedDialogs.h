#pragma once
#include "widgets/DialogService.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

// Dialog answers given by a test ahead of time; every question asked is
// recorded, so a test can check the texts the operator would have seen.
class ScriptedDialogs : public DialogService {
public:
    struct Message {
        QString text;
        QString caption;
        int style;
    };

    // Answers, consumed in order. A Yes/No question without a scripted answer
    // is answered No; an OK box needs no answer.
    std::deque<int> answers;
    std::deque<QString> openNames;   // "" means cancel
    std::deque<QString> saveNames;   // "" means cancel
    std::deque<std::optional<int>> colors;
    // Runs while a message or error box is open, before it is answered: an
    // operator who is away holds it open while the clock turns.
    std::function<void(const QString& text)> whileOpen;

    std::vector<Message> messages;   // every MsgBox
    QStringList errors;              // every error box
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::vector<int> colorRequests;  // initial colour of every colour dialog

    int MsgBox(QWidget* owner, const QString& text, const QString& caption, int style) override;
    QString openFileName(QWidget* owner, const FileDialogRequest& request) override;
    QString saveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<int> color(QWidget* owner, int initial) override;
    void errorBox(QWidget* owner, const QString& text) override;

    [[nodiscard]] QStringList messageTexts() const;
    void clear();
};
