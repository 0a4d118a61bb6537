#include "tests/support/ScriptedDialogs.h"

int ScriptedDialogs::MsgBox(QWidget*, const QString& text, const QString& caption, int style)
{
    messages.push_back({text, caption, style});
    if (whileOpen)
        whileOpen(text);
    const bool yesNo = (style & 0x0F) == 4;
    if (!yesNo)
        return MsgResult::Ok;
    if (answers.empty())
        return MsgResult::No;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedDialogs::openFileName(QWidget*, const FileDialogRequest& request)
{
    openRequests.push_back(request);
    if (openNames.empty())
        return {};
    QString name = openNames.front();
    openNames.pop_front();
    return name;
}

QString ScriptedDialogs::saveFileName(QWidget*, const FileDialogRequest& request)
{
    saveRequests.push_back(request);
    if (saveNames.empty())
        return {};
    QString name = saveNames.front();
    saveNames.pop_front();
    return name;
}

std::optional<int> ScriptedDialogs::color(QWidget*, int initial)
{
    colorRequests.push_back(initial);
    if (colors.empty())
        return std::nullopt;
    auto chosen = colors.front();
    colors.pop_front();
    return chosen;
}

void ScriptedDialogs::errorBox(QWidget*, const QString& text)
{
    errors << text;
    if (whileOpen)
        whileOpen(text);
}

QStringList ScriptedDialogs::messageTexts() const
{
    QStringList texts;
    for (const auto& m : messages)
        texts << m.text;
    return texts;
}

void ScriptedDialogs::clear()
{
    *this = ScriptedDialogs();
}
