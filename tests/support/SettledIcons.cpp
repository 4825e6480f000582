#include "tests/support/SettledIcons.h"

#include "Platform/DecodedIcons.h"

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

void settleDecodedIcons(QWidget *widget, int timeoutMs)
{
    DecodedIcons *icons = DecodedIcons::shared();
    if (!icons || !widget)
        return;
    // A picture drawn with one icon may ask for more (a group icon composed again, a larger size).
    for (int round = 0; round < 4; ++round) {
        widget->grab();
        QCoreApplication::processEvents();
        if (icons->isIdle())
            return;
        if (!QTest::qWaitFor([icons] { return icons->isIdle(); }, timeoutMs))
            qWarning("an icon was still being decoded when pictured");
        QCoreApplication::processEvents();
    }
}
