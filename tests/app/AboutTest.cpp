#include "app/AboutP.h"
#include "tests/app/AppTestMain.h"
#include "widgets/AppContext.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

TEST(AboutWindow, LinkOpensOnDoubleClickOrCtrlEnterOnly)
{
    QList<QUrl> opened;
    AppContext context{appDialogs()};
    context.openUrl = [&](const QUrl& url) { opened << url; return true; };
    TAboutF about(context);
    about.show();
    EXPECT_EQ(about.windowTitle(), "About");
    auto* link = about.findChild<QLineEdit*>("cxHyperLinkEdit1");
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->isReadOnly());

    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_TRUE(opened.isEmpty());
    QTest::mouseDClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(), QString::fromUtf8(kMakerWebAddress));
    QTest::keyClick(link, Qt::Key_Return);
    EXPECT_EQ(opened.size(), 1);
    QTest::keyClick(link, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(opened.size(), 2);

    auto* ok = about.findChild<QPushButton*>("butExit");
    EXPECT_EQ(ok->text(), QString::fromUtf8("확인"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutWindow, OpensCentredOnTheScreen)
{
    AppContext context{appDialogs()};
    TAboutF about(context);
    about.show();
    const QPoint screenCentre = about.screen()->availableGeometry().center();
    const QPoint centre = about.frameGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 2) << centre.x() << "," << centre.y();
}
