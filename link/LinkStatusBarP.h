#pragma once
#include <QStatusBar>
#include <array>

class QLabel;
class TComPort;
struct AppContext;

// The texts of the link state in status panel 0.
namespace LinkStateText {
inline const QString Idle = QStringLiteral("대기중");
inline const QString Receiving = QStringLiteral("수신중");
inline const QString Error = QStringLiteral("ERROR");
} // namespace LinkStateText

// The five-panel status bar StatusBar1 of the console and the monitoring
// window: 0 link state, 1 port, 2 line settings, 3 delay in ms, 4 free.
class LinkStatusBar : public QStatusBar {
    Q_OBJECT
public:
    enum class Design { Console, Monitoring };
    static constexpr int kPanelCount = 5;

    explicit LinkStatusBar(Design design, QWidget* parent = nullptr);

    [[nodiscard]] QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    [[nodiscard]] QLabel* panel(int panel) const { return m_panels.at(std::size_t(panel)); }

    // Panel 0 follows the port's link: "ERROR" while its device is lost,
    // "대기중" once it is back. Watching the same port twice changes nothing.
    void watch(TComPort* port);

public slots:
    void showLinkLost();
    void showLinkResumed();

private:
    std::array<QLabel*, kPanelCount> m_panels{};
};

// Configures and opens a window's port from Main.ini and fills panels 0 to 3:
// Port, BaudRate, Parity, DataBits, StopBits, FlowControl and Delay/Time are
// read with their defaults written back, in that order; the port's settings
// are loaded, RTS set to toggle, and the port opened. A failed open shows
// "통신 불량" (caption "경고", style 16) and panel 0 "ERROR"; success shows
// "대기중". Returns whether the port is open. Errors of the settings file
// (unwritable Main.ini, "Failed to load settings") travel on to the caller.
bool OpenComPort(QWidget* owner, TComPort& port, LinkStatusBar& statusBar, AppContext& context);

// The auto-tuning window's variant: load the settings, RTS toggle, open; on
// failure only the message box. Reads no keys itself, so it writes nothing.
bool OpenComPortShort(QWidget* owner, TComPort& port, AppContext& context);
