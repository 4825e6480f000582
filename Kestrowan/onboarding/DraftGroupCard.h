#pragma once

#include "Kestrowan/onboarding/DraftGroup.h"

#include <QPointer>
#include <QWidget>

class OnboardingFlow;
#include <QLineEdit>

// One draft group in the group-making step: its name (or the field renaming it), and the icons of
// its applications. A click makes it the active group; an application dropped on it joins it.
class DraftGroupCard final : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxIcons = 6;
    DraftGroupCard(OnboardingFlow &flow, const DraftGroup &group, QWidget *parent = nullptr);
    QUuid groupID() const { return m_group.id; }
    QLineEdit *renameField() const { return m_renameField; }
    // The bundle identifier a drop carries, when the flow lists that application.
    static std::optional<QString> droppedApp(const OnboardingFlow &flow, const QMimeData *mime);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool isActive() const;
    OnboardingFlow &m_flow;
    DraftGroup m_group;
    QWidget *m_nameLabel = nullptr;
    QPointer<QLineEdit> m_renameField;
};
