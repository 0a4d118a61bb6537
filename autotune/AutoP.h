#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class ColumnGrid;
class IntervalTimer;
class TComPort;
class LampSwitch;
class SpinEdit;
class RadioGroup;
class ShadowLabel;
struct AppContext;

// The auto-tuning window: reads one controller's tuning settings and PID
// sets, starts its auto-tuning, polls until the controller reports the end,
// and stops it early.
class TAutoF : public QDialog {
    Q_OBJECT
public:
    explicit TAutoF(AppContext& context, QWidget* parent = nullptr);
    ~TAutoF() override;

    // The step and the request in flight, kept for the whole run of the
    // program (not reset when the window opens).
    static int AtStep;
    static QString TxStr;

    // Attempts made of the request awaited (the send step's counter).
    [[nodiscard]] int sendAttempts() const { return m_sendAttempts; }

public slots:
    void FormShow();
    void spbReadClick();
    void ledButStartClick();
    void tmBatTimer();
    void tmSendTimer();
    void ComPort1RxChar(QObject* Sender, int Count);
    // Whether the window may close; refuses (with the message) while tuning.
    bool FormCloseQuery();
    void spbExitClick();
    // Sends the stop to the controller of a run lost to the line.
    void butStopTuningClick();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void InitGrid();
    void OpenComPort();
    void HandleReply(const QByteArray& frame);
    // A reply whose status is not "OK".
    void HandleRefusal();
    void clearReadings();
    void showStopping();
    void sendStop();
    // The line under the buttons after a run lost to the line: the controller
    // may still be tuning, and 중지 beside it sends it the stop.
    void showStillTuning(bool shown);
    void stopUnconfirmed(const QString& why);
    [[nodiscard]] QString paddedAddress() const;
    // Tuning in progress: the message panel shown, the lamp lit, the switch
    // captioned "중지" and the settings read disabled; or all of it undone.
    void showTuning(bool inProgress);
    void notice(const QString& text);

    AppContext& m_context;
    ShadowLabel* m_rxLabel1;
    QLabel* m_panZone;
    QLabel* m_panDot;
    QLabel* m_panSv1;
    QLabel* m_panSv2;
    QLabel* m_panSv3;
    QLabel* m_panATM;
    QPushButton* m_spbRead;
    ColumnGrid* m_sg1;
    RadioGroup* m_rdgSel;
    SpinEdit* m_avSEdtAdr;
    LampSwitch* m_ledButStart;
    QPushButton* m_spbExit;
    QLabel* m_panMessage;
    QLabel* m_labStillTuning;
    QPushButton* m_butStopTuning;
    TComPort* m_comPort1;
    IntervalTimer* m_tmBat;
    IntervalTimer* m_tmSend;
    int m_sendAttempts = 0;
    QString m_readAddress;   // the address the awaited settings read went to
    QString m_runAddress;    // the controller of the tuning run, fixed at its start
    int m_runChoice = 0;     // the tuning choice of the run
    int m_refusals = 0;      // refused replies in a row of the current step
    bool m_stopUnconfirmed = false;
    bool m_shown = false;
};
