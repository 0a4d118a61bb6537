#pragma once
#include <QDialog>

struct AppContext;
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
    // Writes the shown settings as they are and closes.
    void butSaveClick();
    // Closes without writing anything.
    void butExitClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppContext& m_context;
    TComComboBox* m_lists[5];
    QLineEdit* m_edtSec;
};
