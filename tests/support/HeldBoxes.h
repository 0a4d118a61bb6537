#pragma once
#include "tests/support/EventWait.h"
#include "tests/support/ScriptedDialogs.h"

#include <QList>
#include <QSignalSpy>
#include <functional>

// The operator is away: every message or error box stays open while the
// clock turns, until the operator is back. The event loop runs meanwhile, as
// under a real box, so a window's timers and port go on unless the box was
// opened inside one of their handlers.
class HeldBoxes {
public:
    // Called as a box opens (with its text); may change the world (the line
    // comes back) and gives the condition under which the operator is back.
    using Hold = std::function<std::function<bool()>(const QString& text)>;

    HeldBoxes(ScriptedDialogs& dialogs, Hold hold) : m_dialogs(dialogs)
    {
        m_dialogs.whileOpen = [this, hold](const QString& text) {
            EXPECT_TRUE(waitUntil(hold(text))) << "the window stood still while the box was open: "
                                               << text.toStdString();
            ++held;
        };
    }
    ~HeldBoxes() { m_dialogs.whileOpen = nullptr; }
    HeldBoxes(const HeldBoxes&) = delete;
    HeldBoxes& operator=(const HeldBoxes&) = delete;

    // Back once every spy has counted `times` more signals than when the box
    // opened: timer ticks, frames on the far end of the line.
    static std::function<bool()> moreSignals(const QList<QSignalSpy*>& spies, int times)
    {
        QList<qsizetype> atOpen;
        for (const QSignalSpy* spy : spies)
            atOpen << spy->count();
        return [spies, atOpen, times] {
            for (qsizetype i = 0; i < spies.size(); ++i)
                if (spies[i]->count() < atOpen[i] + times)
                    return false;
            return true;
        };
    }

    int held = 0;   // boxes held open and then answered

private:
    ScriptedDialogs& m_dialogs;
};
