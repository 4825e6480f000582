#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

#include "Kestrowan/shell/ConfirmationAlert.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

class QScrollArea;
class SettingsModel;

// The settings page of the main window: a back button over a scrolling column of five sections
// (general, interaction, Dock, about, reset). It shows what `SettingsModel` holds and hands the
// user's changes to it; its texts follow the interface language at once.
class SettingsPanel final : public QWidget {
    Q_OBJECT
public:
    SettingsPanel(const AppEnvironment &environment, std::function<void()> onBack, QWidget *parent = nullptr);
    ~SettingsPanel() override;

    SettingsModel &model() { return *m_model; }
    QScrollArea *scrollArea() const { return m_scroll; }
    // The reset's confirmation and its report, while shown (tests drive them).
    ConfirmationAlert *confirmation() const { return m_confirmation; }
    QMessageBox *resetReport() const { return m_report; }

    void requestResetAll();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void build();
    void refresh();
    QWidget *buildGeneral();
    QWidget *buildInteraction();
    QWidget *buildDock();
    QWidget *buildAbout();
    QWidget *buildReset();
    void resetFinished(int keptGroups);

    SettingsModel *m_model;
    std::function<void()> m_onBack;
    QWidget *m_content = nullptr;
    QScrollArea *m_scroll = nullptr;
    QPointer<ConfirmationAlert> m_confirmation;
    QPointer<QMessageBox> m_report;
    // Each shown control reads its state again from the model.
    QList<std::function<void()>> m_refreshers;
};
