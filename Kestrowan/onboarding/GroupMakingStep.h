#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class AppChip;
class DraftGroupCard;
class FilledButton;
class OnboardingFlow;
#include <QLineEdit>
class QScrollArea;
class QStackedLayout;
class QVBoxLayout;
class TextButton;
class TokenLabel;

// The second step: the Dock's applications on the left, the draft groups on the right; a click on
// an application puts it into the active group, a drag puts it into the group it is dropped on.
class GroupMakingStep final : public QWidget {
    Q_OBJECT
public:
    explicit GroupMakingStep(OnboardingFlow &flow, QWidget *parent = nullptr);

    const QList<AppChip *> &chips() const { return m_chips; }
    QList<DraftGroupCard *> cards() const;
    TextButton *addButton() const { return m_addButton; }
    QLineEdit *pendingNameField() const { return m_pendingName; }
    FilledButton *saveButton() const { return m_save; }

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QWidget *makeAppsPanel();
    QWidget *makeGroupsColumn();
    QWidget *makeNameCard();
    void refresh();
    void rebuildCards();
    QString cardsKey() const;

    OnboardingFlow &m_flow;
    QWidget *m_appsPanel = nullptr;
    TokenLabel *m_appsLabel = nullptr;
    QStackedLayout *m_appsStack = nullptr;
    QList<AppChip *> m_chips;
    QVBoxLayout *m_cardsLayout = nullptr;
    QWidget *m_nameCard = nullptr;
    QPointer<QLineEdit> m_pendingName;
    FilledButton *m_save = nullptr;
    TextButton *m_addButton = nullptr;
    QString m_cardsKey;
    bool m_rebuilding = false;
};
