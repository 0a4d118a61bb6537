#pragma once
#include <QDialog>

struct AppContext;
class QLineEdit;

// The About window: picture, rights notice and the maker's web address.
class TAboutF : public QDialog {
    Q_OBJECT
public:
    TAboutF(AppContext& context, QWidget* parent = nullptr);

    // Asks the desktop to open the web address.
    void openLink();

public Q_SLOTS:
    void butExitClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    AppContext& m_context;
    QLineEdit* m_link;
};

inline constexpr const char* kMakerWebAddress = "http://www.kelo.example.kr";
