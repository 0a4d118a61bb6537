#pragma once
#include <QMainWindow>

struct AppContext;
class IntervalTimer;
class QAction;
class QLabel;
class QToolButton;

// The main window: a launcher for the working windows, the date panel and
// the exit confirmation. It does no communication itself.
class TKeloMainF : public QMainWindow {
    Q_OBJECT
public:
    TKeloMainF(AppContext& context, QWidget* parent = nullptr);

    // "YYYY-MM-DD [요일]", for example "2005-03-15 [화요일]".
    [[nodiscard]] static QString dateText(const QDate& date);

public Q_SLOTS:
    void FormShow();
    void Timer1Timer();
    void N6Click();      // 종료
    void N10Click();     // 모니터링
    void N15Click();     // 데이터조회
    void Auto1Click();   // AutoTuring
    void N11Click();     // 코멘드통신
    void N7Click();      // 통신설정
    void About1Click();  // About

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addItem(QMenu* menu, const QString& name, const QString& text, void (TKeloMainF::*handler)());
    QToolButton* addToolButton(QWidget* bar, const QString& name, const QString& tip,
                               const QString& picture, void (TKeloMainF::*handler)());
    void buildMenu();
    void buildBody();

    AppContext& m_context;
    IntervalTimer* m_timer1;
    QLabel* m_panDate;
    bool m_shown = false;
};
