#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/mainwindow/StagedAppSelection.h"

#include <QWidget>

class NVLXButton;
class QLabel;
class QVBoxLayout;

// What both app pickers share: a working copy of the group's items, the title with the count of
// staged items, and Cancel and Done at the bottom. Done hands back the whole staged list; Cancel
// changes nothing. Each picker puts its own part between the title and the buttons.
class StagedPicker : public QWidget {
    Q_OBJECT
public:
    const StagedAppSelection &staged() const { return m_staged; }
    NVLXButton *doneButton() const { return m_done; }
    NVLXButton *cancelButton() const { return m_cancel; }

    void commitSelection();
    void cancelPicker();

signals:
    void committed(const QList<AppItem> &apps);
    void cancelled();

protected:
    StagedPicker(const QString &title, const QList<AppItem> &selectedApps, QWidget *parent);

    // Where the picker's own widgets go, between the title's and the buttons' dividers.
    QVBoxLayout *body() const { return m_body; }
    // Adds or removes the application and redraws the count and the picker's marks.
    void toggle(const AppItem &entry);
    virtual void selectionChanged() {}

    void paintEvent(QPaintEvent *event) override;

private:
    StagedAppSelection m_staged;
    QLabel *m_count;
    QVBoxLayout *m_body;
    NVLXButton *m_cancel;
    NVLXButton *m_done;
};
