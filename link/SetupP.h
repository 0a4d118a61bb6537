#pragma once
#include <QDialog>
#include <optional>

struct AppContext;
class QLabel;
class QLineEdit;
class QPushButton;
class TComComboBox;

// The communication settings dialog: the serial port, its line settings and
// the cycle time of the polling windows, kept in Main.ini. It never touches a
// port; the windows that own one close it around this dialog.
class TSetupF : public QDialog {
    Q_OBJECT
public:
    TSetupF(AppContext& context, QWidget* parent = nullptr);

public Q_SLOTS:
    // Shows the settings of Main.ini, writing back the default of every empty key.
    void FormShow();
    // Writes the shown settings and closes; a delay that is not a whole
    // number from 1 ms to one hour is refused and nothing is written.
    void butSaveClick();
    // Closes without writing anything.
    void butExitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    [[nodiscard]] std::optional<int> delayMillis() const;
    // A poll request and its reply on the wire at the shown line settings.
    [[nodiscard]] double wireMillis() const;
    void showWireTime();

    AppContext& m_context;
    QLabel* m_labWire;
    QLabel* m_labWarning;
    TComComboBox* m_lists[5];
    QLineEdit* m_edtSec;
};
