#pragma once
#include "console/ContinuousSend.h"
#include "link/FrameProtocol.h"

#include <QDialog>

struct AppContext;
class IntervalTimer;
class LinkStatusBar;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TComPort;

// The command console: sends one hand-typed request frame to an address, or
// the same request to every ticked address in turn (continuous mode), and
// logs every frame sent and every reply received.
class TCommandF : public QDialog {
    Q_OBJECT
public:
    TCommandF(AppContext& context, QWidget* parent = nullptr);

public Q_SLOTS:
    // Selects WHO and opens the port from Main.ini.
    void FormShow();
    // Fills the frame layout, the byte counts and the example body of the
    // selected command and resets the address to "01".
    void cxCmbSelPropertiesChange();
    // One send, or continuous mode started or stopped while chbAll is checked.
    // A failed single send throws (the application's error box shows it).
    void butSendClick();
    // One continuous-mode send to the next ticked address.
    void Timer1Timer();
    void ComPort1RxChar(QObject* Sender, int Count);
    void chbAllClick();
    void Label6Click();
    void edtUnitKeyPress();   // Enter in edtUnit
    void edtSendKeyPress();   // Enter in edtSend
    void Memo1DblClick();
    // Closes the port around the settings dialog and opens it again.
    void butSetupClick();
    void butExitClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    // Sends a frame and logs it; throws when not all of it reached the line.
    void sendFrame(const QByteArray& frame);
    // One log line: the frame as text, or as hex bytes while chbHex is ticked.
    void logFrame(TrafficDirection direction, const QByteArray& frame);
    void reportContinuousFailure(const QString& text);
    [[nodiscard]] QList<bool> tickedAddresses() const;

    AppContext& m_context;
    ContinuousSend m_continuous;   // SendIdx and the run's failure report
    bool m_shown = false;

    QComboBox* m_cxCmbSel;
    QLabel* m_labTxt;
    QLabel* m_labByte;
    QLineEdit* m_edtUnit;
    QLineEdit* m_edtSend;
    QPushButton* m_butSend;
    QPushButton* m_butSetup;
    QPushButton* m_butExit;
    QCheckBox* m_chbAll;
    QCheckBox* m_chbHex;
    QPushButton* m_butClearLog;
    QLabel* m_label6;
    QListWidget* m_clsbAll;
    QPlainTextEdit* m_memo1;
    LinkStatusBar* m_statusBar1;
    TComPort* m_comPort1;
    IntervalTimer* m_timer1;
};
