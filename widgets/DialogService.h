#pragma once
#include <QString>
#include <optional>

class QWidget;

// Windows message box style flags and button codes.
namespace MsgStyle {
inline constexpr int Ok = 0;
inline constexpr int OkError = 16;     // OK button, error icon
inline constexpr int YesNoQuestion = 36;
inline constexpr int OkInformation = 64;
} // namespace MsgStyle
namespace MsgResult {
inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgResult

struct FileDialogRequest {
    QString filter;        // "description|pattern|description|pattern"
    QString startDir;
    QString proposedName;  // file name proposed in a save dialog
    bool confirmOverwrite = false; // save dialogs: ask replaceQuestion() before replacing a file
};

// Every modal question the program asks goes through one object, so tests can
// answer with a script and never block on a dialog.
class DialogService {
public:
    virtual ~DialogService() = default;

    // Returns the button code pressed (MsgResult).
    virtual int MsgBox(QWidget* owner, const QString& text, const QString& caption, int style) = 0;
    // The chosen file's full path, or the empty text when cancelled.
    virtual QString openFileName(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual QString saveFileName(QWidget* owner, const FileDialogRequest& request) = 0;
    // A colour (R + 256·G + 65536·B), or nothing when cancelled.
    virtual std::optional<int> color(QWidget* owner, int initial) = 0;
    // The application's error box for an error no window expected.
    virtual void errorBox(QWidget* owner, const QString& text) = 0;
};

// The "description|pattern|..." filter as a Qt name filter list.
[[nodiscard]] QString qtNameFilter(const QString& filter);
// The question asked before a save replaces an existing file.
[[nodiscard]] QString replaceQuestion(const QString& path);
