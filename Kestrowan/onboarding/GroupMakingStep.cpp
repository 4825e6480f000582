#include "Kestrowan/onboarding/GroupMakingStep.h"

#include "Kestrowan/onboarding/AppChip.h"
#include "Kestrowan/onboarding/DraftGroupCard.h"
#include "Kestrowan/onboarding/FilledButton.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/SymbolBadge.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LookStyleSheet.h"
#include "Kestrowan/shell/SlimScrollBar.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>

using namespace OnboardingColors;

namespace {

// A rounded panel that ends a pending rename when its empty space is clicked.
class ClickPanel final : public QWidget {
public:
    ClickPanel(OnboardingFlow &flow, std::optional<DynamicColor> fill, qreal corner, std::optional<DynamicColor> outline = std::nullopt)
        : m_flow(flow), m_fill(fill), m_corner(corner), m_outline(outline)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_fill)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = ContinuousShape::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_corner);
        painter.fillPath(shape, m_fill->resolve(this));
        if (m_outline) {
            painter.setPen(QPen(m_outline->resolve(this), 1));
            painter.drawPath(shape);
        }
    }
    void mousePressEvent(QMouseEvent *) override { m_flow.commitPendingRename(); }

private:
    OnboardingFlow &m_flow;
    std::optional<DynamicColor> m_fill;
    qreal m_corner;
    std::optional<DynamicColor> m_outline;
};

QScrollArea *scrollArea(QWidget *content)
{
    auto *scroll = new QScrollArea;
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    setSlimScrollBar(scroll->verticalScrollBar());
    return scroll;
}

QString fieldStyle(const QWidget *widget, qreal borderWidth, int radius)
{
    return QStringLiteral("QLineEdit { background: %1; color: %2; border: %3px solid %4; border-radius: %5px; }")
        .arg(windowBackground.resolve(widget).name(QColor::HexArgb), primaryText.resolve(widget).name(QColor::HexArgb))
        .arg(borderWidth)
        .arg(accent.resolve(widget).name(QColor::HexArgb))
        .arg(radius);
}

} // namespace

GroupMakingStep::GroupMakingStep(OnboardingFlow &flow, QWidget *parent) : QWidget(parent), m_flow(flow)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *header = new QVBoxLayout;
    header->setSpacing(4);
    header->addWidget(StepParts::label(localized(QStringLiteral("onboarding.group.title")), 16, QFont::Bold, primaryText));
    header->addWidget(StepParts::label(localized(QStringLiteral("onboarding.group.subtitle")), 13, QFont::Normal, secondaryText));
    column->addLayout(header);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 14, 0, 14);
    row->setSpacing(16);
    row->addWidget(makeAppsPanel(), 1);
    row->addWidget(makeGroupsColumn());
    column->addLayout(row, 1);

    connect(&m_flow, &OnboardingFlow::changed, this, &GroupMakingStep::refresh);
    connect(&m_flow, &OnboardingFlow::renameFieldFocusRequested, this, [this] {
        for (DraftGroupCard *card : cards()) {
            if (QLineEdit *field = card->renameField()) {
                field->setFocus(Qt::OtherFocusReason);
                field->selectAll();
            }
        }
    });
    connect(&m_flow, &OnboardingFlow::pendingNameFocusRequested, this, [this] {
        if (m_pendingName)
            m_pendingName->setFocus(Qt::OtherFocusReason);
    });
    refresh();
}

QWidget *GroupMakingStep::makeAppsPanel()
{
    auto *panelWidget = new ClickPanel(m_flow, OnboardingColors::panel, 10);
    m_appsPanel = panelWidget;
    auto *column = new QVBoxLayout(panelWidget);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    m_appsLabel = StepParts::label(localized(QStringLiteral("onboarding.group.yourApps")), 11, QFont::DemiBold, secondaryText, Qt::AlignLeft, true);
    column->addWidget(m_appsLabel);

    m_appsStack = new QStackedLayout;
    // Without an active group: a prompt to make one.
    auto *prompt = new QWidget;
    auto *promptColumn = new QVBoxLayout(prompt);
    promptColumn->addStretch();
    SymbolBadge::Look arrow;
    arrow.side = 28;
    arrow.corner = 0;
    arrow.fill = DynamicColor::fixed(0, 0);
    arrow.symbol = QStringLiteral("arrow.right");
    arrow.symbolPoints = 24;
    arrow.symbolColor = DynamicColor(0xFF7A44, 0xFF9966, 0.6, 0.6);
    StepParts::addCentred(promptColumn, new SymbolBadge(arrow));
    promptColumn->addWidget(StepParts::label(localized(QStringLiteral("onboarding.group.createFirst")), 13, QFont::Medium, secondaryText));
    promptColumn->addStretch();
    m_appsStack->addWidget(prompt);

    auto *grid = new QWidget;
    auto *gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(2, 2, 2, 2);
    gridLayout->setSpacing(8);
    const QList<DockReader::DockApp> &apps = m_flow.dockApps();
    for (qsizetype i = 0; i < apps.size(); ++i) {
        auto *chip = new AppChip(m_flow, apps[i]);
        chip->setObjectName(QStringLiteral("appChip"));
        const QString bundleID = apps[i].bundleIdentifier;
        connect(chip, &QAbstractButton::clicked, this, [this, bundleID] { m_flow.toggleAppInActiveGroup(bundleID); });
        gridLayout->addWidget(chip, int(i / 2), int(i % 2));
        m_chips << chip;
    }
    gridLayout->setColumnStretch(0, 1);
    gridLayout->setColumnStretch(1, 1);
    gridLayout->setRowStretch(int((apps.size() + 1) / 2), 1);
    m_appsStack->addWidget(scrollArea(grid));
    column->addLayout(m_appsStack, 1);
    return panelWidget;
}

QWidget *GroupMakingStep::makeGroupsColumn()
{
    auto *groups = new ClickPanel(m_flow, std::nullopt, 0);
    groups->setFixedWidth(200);
    auto *column = new QVBoxLayout(groups);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(StepParts::label(localized(QStringLiteral("onboarding.group.groups")), 11, QFont::DemiBold, secondaryText, Qt::AlignLeft, true));
    auto *cards = new ClickPanel(m_flow, std::nullopt, 0);
    m_cardsLayout = new QVBoxLayout(cards);
    m_cardsLayout->setContentsMargins(0, 0, 0, 0);
    m_cardsLayout->setSpacing(8);
    m_cardsLayout->addStretch();
    column->addWidget(scrollArea(cards), 1);

    m_nameCard = makeNameCard();
    column->addWidget(m_nameCard);

    TextButton::Look add;
    add.symbol = QStringLiteral("plus");
    add.titlePoints = 11;
    add.titleWeight = QFont::DemiBold;
    add.spacing = 5;
    // An enabled control: the secondary text colour, not the faint one that reads as disabled.
    add.color = secondaryText;
    add.outline = subtleFill;
    add.padding = 10;
    m_addButton = new TextButton(localized(QStringLiteral("onboarding.group.addAnother")), add);
    m_addButton->setObjectName(QStringLiteral("addGroupButton"));
    connect(m_addButton, &QAbstractButton::clicked, &m_flow, &OnboardingFlow::startCreatingGroup);
    column->addWidget(m_addButton);
    return groups;
}

QWidget *GroupMakingStep::makeNameCard()
{
    auto *card = new ClickPanel(m_flow, OnboardingColors::panel, 10, subtleFill);
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);
    m_pendingName = new QLineEdit;
    m_pendingName->setObjectName(QStringLiteral("pendingNameField"));
    m_pendingName->setPlaceholderText(localized(QStringLiteral("onboarding.group.namePlaceholder")));
    m_pendingName->setFont(OnboardingStyle::font(13, QFont::DemiBold));
    m_pendingName->setTextMargins(10, 8, 10, 8);
    setLookStyleSheet(m_pendingName, this, [this] { return fieldStyle(this, 1.5, 8); });
    connect(m_pendingName, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_flow.setPendingGroupName(text);
        // The flow may have cut the text to its limit.
        if (m_pendingName && m_pendingName->text() != m_flow.pendingGroupName())
            m_pendingName->setText(m_flow.pendingGroupName());
    });
    connect(m_pendingName, &QLineEdit::returnPressed, &m_flow, &OnboardingFlow::createGroupFromPendingName);
    column->addWidget(m_pendingName);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch();
    TextButton::Look cancelLook;
    cancelLook.titlePoints = 11;
    cancelLook.titleWeight = QFont::Medium;
    cancelLook.color = secondaryText;
    auto *cancel = new TextButton(localized(QStringLiteral("picker.cancel")), cancelLook);
    connect(cancel, &QAbstractButton::clicked, &m_flow, &OnboardingFlow::cancelCreatingGroup);
    buttons->addWidget(cancel);
    FilledButton::Look saveLook;
    saveLook.titlePoints = 11;
    saveLook.horizontalPadding = 12;
    saveLook.verticalPadding = 6;
    saveLook.corner = 8;
    saveLook.fill = accent;
    saveLook.shadow = DynamicColor::fixed(0, 0);
    m_save = new FilledButton(localized(QStringLiteral("onboarding.group.save")), saveLook);
    connect(m_save, &QAbstractButton::clicked, &m_flow, &OnboardingFlow::createGroupFromPendingName);
    buttons->addSpacing(-10);
    buttons->addWidget(m_save);
    buttons->addSpacing(-10);
    column->addLayout(buttons);
    return card;
}

QList<DraftGroupCard *> GroupMakingStep::cards() const
{
    QList<DraftGroupCard *> cards;
    for (int i = 0; i < m_cardsLayout->count(); ++i) {
        if (auto *card = qobject_cast<DraftGroupCard *>(m_cardsLayout->itemAt(i)->widget()))
            cards << card;
    }
    return cards;
}

QString GroupMakingStep::cardsKey() const
{
    QStringList parts;
    for (const DraftGroup &group : m_flow.groups())
        parts << group.id.toString() + group.name + group.appBundleIDs.join(QLatin1Char('\n'));
    parts << (m_flow.activeGroupID() ? m_flow.activeGroupID()->toString() : QString());
    parts << (m_flow.editingGroupID() ? m_flow.editingGroupID()->toString() : QString());
    return parts.join(QLatin1Char('\t'));
}

void GroupMakingStep::rebuildCards()
{
    m_rebuilding = true;
    const QList<DraftGroupCard *> old = cards();
    for (DraftGroupCard *card : old) {
        m_cardsLayout->removeWidget(card);
        if (QLineEdit *field = card->renameField())
            field->disconnect(card);
        card->hide();
        card->deleteLater();
    }
    int index = 0;
    for (const DraftGroup &group : m_flow.groups()) {
        auto *card = new DraftGroupCard(m_flow, group);
        card->setObjectName(QStringLiteral("draftGroupCard"));
        m_cardsLayout->insertWidget(index++, card);
    }
    m_rebuilding = false;
}

void GroupMakingStep::refresh()
{
    if (m_rebuilding)
        return;
    const bool hasActive = m_flow.activeGroup() != nullptr;
    m_appsStack->setCurrentIndex(hasActive ? 1 : 0);
    m_appsLabel->setColor(hasActive ? secondaryText : faintText);
    auto *dim = qobject_cast<QGraphicsOpacityEffect *>(m_appsPanel->graphicsEffect());
    if (!hasActive && !dim) {
        dim = new QGraphicsOpacityEffect(m_appsPanel);
        dim->setOpacity(0.6);
        m_appsPanel->setGraphicsEffect(dim);
    } else if (hasActive && dim) {
        m_appsPanel->setGraphicsEffect(nullptr);
    }
    for (AppChip *chip : std::as_const(m_chips))
        chip->update();

    const QString key = cardsKey();
    if (key != m_cardsKey) {
        m_cardsKey = key;
        rebuildCards();
    }
    m_nameCard->setVisible(m_flow.isCreatingGroup());
    if (!m_flow.isCreatingGroup() && m_pendingName && !m_pendingName->text().isEmpty())
        m_pendingName->clear();
    m_addButton->setVisible(!m_flow.isCreatingGroup() && m_flow.canAddGroup());
    m_save->setEnabled(m_flow.canSavePendingName());
}

void GroupMakingStep::mousePressEvent(QMouseEvent *)
{
    m_flow.commitPendingRename();
}
