#include "app/AboutP.h"

#include "widgets/AppContext.h"
#include "widgets/Fonts.h"
#include "widgets/ShadowLabel.h"
#include "widgets/WindowPlacement.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

TAboutF::TAboutF(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("AboutF"));
    setWindowTitle(QStringLiteral("About"));
    setFont(gulimche(9));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(2);
    auto* bevelLayout = new QVBoxLayout(bevel);
    auto* picture = new QLabel(bevel);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(QPixmap(QStringLiteral(":/aboutpicture.svg")).scaled(240, 120));
    picture->setAlignment(Qt::AlignCenter);
    bevelLayout->addWidget(picture);
    layout->addWidget(bevel);

    auto* rights = new ShadowLabel(
        QStringLiteral("Copyright (c) 켈로. All rights reserved.\n켈로-온도조절계모니터링+AT Ver1.13"), this);
    rights->setObjectName(QStringLiteral("RxLabel1"));
    rights->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    rights->setFont(bold);
    rights->setStyleSheet(QStringLiteral("color: maroon;"));
    rights->setMinimumHeight(40);
    layout->addWidget(rights);

    m_link = new QLineEdit(QString::fromUtf8(kMakerWebAddress), this);
    m_link->setObjectName(QStringLiteral("cxHyperLinkEdit1"));
    m_link->setAccessibleName(QStringLiteral("웹 주소 (Ctrl+Enter: 열기)"));
    m_link->setReadOnly(true);
    m_link->setFrame(false);
    m_link->setAlignment(Qt::AlignCenter);
    QFont underlined = font();
    underlined.setUnderline(true);
    m_link->setFont(underlined);
    m_link->setStyleSheet(QStringLiteral("QLineEdit { color: blue; background: palette(window); }"));
    m_link->installEventFilter(this);
    layout->addWidget(m_link);

    auto* exit = new QPushButton(QStringLiteral("확인"), this);
    exit->setObjectName(QStringLiteral("butExit"));
    connect(exit, &QPushButton::clicked, this, &TAboutF::butExitClick);
    layout->addWidget(exit, 0, Qt::AlignCenter);

    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        adjustSize();
        centreOnScreen(this);
    }
}

void TAboutF::butExitClick()
{
    close();
}

void TAboutF::openLink()
{
    m_context.openUrl(QUrl(m_link->text()));
}

bool TAboutF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_link) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            openLink();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                && key->modifiers().testFlag(Qt::ControlModifier)) {
                openLink();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
