#pragma once

#include "Platform/StatusItem.h"

#include <QPointer>
#include <QMenu>

// Keeps what the program set, for tests to look at.
class FakeStatusItem final : public StatusItem {
public:
    QImage image;
    QString toolTip;
    QPointer<QMenu> currentMenu;
    int imageAssignments = 0;

    void setTemplateImage(const QImage &next) override
    {
        image = next;
        ++imageAssignments;
    }
    void setToolTip(const QString &text) override { toolTip = text; }
    void setMenu(QMenu *menu) override { currentMenu = menu; }
    QMenu *menu() const override { return currentMenu; }
};
