#pragma once
#include "link/FrameSender.h"

#include <QList>

// A line for the engine that takes every frame, or refuses them all while
// `refusing`; what it took is in `sent`.
class ScriptedLine : public FrameSender {
public:
    Result send(const QByteArray& frame) override
    {
        if (refusing)
            return {false, QStringLiteral("WriteFile function failed"), QStringLiteral("the port took no bytes")};
        sent << frame;
        return {true, {}, {}};
    }
    QList<QByteArray> sent;
    bool refusing = false;
};
