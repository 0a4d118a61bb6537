#include "monitoring/MinputP.h"
#include "tests/monitoring/MonitoringWindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

class EditorFromMonitoring : public MonitoringWindowTest {
protected:
    // Clicks "설정" and runs `work` on the editor while it is shown modally;
    // the editor is then closed (answering its close question with Yes).
    void editWith(const std::function<void(TMinputF&)>& work)
    {
        QTimer::singleShot(0, [&] {
            auto* editor = window->findChild<TMinputF*>();
            ASSERT_NE(editor, nullptr);
            panFileSeen = editor->findChild<QLabel*>("PanFile")->text();
            work(*editor);
            dialogs.answers.push_back(MsgResult::Yes);
            editor->close();
        });
        child<QToolButton>("spbInput")->click();
    }

    static void type(TMinputF& editor, const char* name, const QString& text)
    {
        editor.findChild<QLineEdit*>(QLatin1String(name))->setText(text);
    }

    QString panFileSeen;
};

} // namespace

TEST_F(EditorFromMonitoring, ASetBuiltInTheEditorIsLoadedAndPolledWithPaddedAddressAndRegister)
{
    open();
    EXPECT_TRUE(child<QToolButton>("spbInput")->isEnabled());
    const QString saved = MonitorDir() + "/line b";
    editWith([&](TMinputF& editor) {
        type(editor, "edtTitle", "Line B");
        type(editor, "edtSam", "500");
        type(editor, "edtAddr", " 5");
        type(editor, "edtCap", "Zone");
        type(editor, "edtReg", "1");
        type(editor, "edtDot", "1");
        type(editor, "edtMax", "100");
        type(editor, "edtMin", "0");
        editor.spbAddClick();
        dialogs.answers.push_back(MsgResult::Yes); // 저장하시겠습니까?
        dialogs.saveNames.push_back(saved);
        editor.butSaveClick();
    });
    EXPECT_EQ(panFileSeen, "[None]");
    EXPECT_EQ(readBytes(saved + ".khd"), QByteArray("Line B;500\r\n05;Zone;0001;1;100;0;16777215\r\n"));
    EXPECT_EQ(window->SetPath(), saved + ".khd");
    EXPECT_EQ(list()->text(1, 2), "05");
    EXPECT_EQ(list()->text(1, 4), "0001");
    EXPECT_EQ(panel(4), "[line b.khd]");

    start();
    EXPECT_EQ(tick(), request("05", "0001"));
    EXPECT_FALSE(child<QToolButton>("spbInput")->isEnabled());
}

TEST_F(EditorFromMonitoring, TheCurrentSetIsHandedInAndAFailedSaveHandsNothingBack)
{
    open();
    const QString path = load(threeChannelSet());
    editWith([&](TMinputF& editor) {
        editor.butNewClick();
        dialogs.answers.push_back(MsgResult::Yes);
        dialogs.saveNames.push_back(MonitorDir() + "/never");
        editor.butSaveClick(); // refused: the single empty row has no Addr
    });
    EXPECT_EQ(panFileSeen, "[" + path + "]");
    EXPECT_TRUE(dialogs.messageTexts().contains(QString::fromUtf8("Addr 입력값 불량")));
    EXPECT_FALSE(QFileInfo::exists(MonitorDir() + "/never.khd"));
    EXPECT_EQ(window->SetPath(), path);
    EXPECT_EQ(list()->rowCount(), 4); // the set was reloaded
    EXPECT_EQ(list()->text(3, 3), "Zone 3");
}
