#include "Kestrowan/onboarding/DraftGroupCard.h"

#include "Kestrowan/onboarding/AppIconView.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LookStyleSheet.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

using namespace OnboardingColors;

namespace {

// The "+N" after the first icons.
class MoreBadge final : public QWidget {
public:
    MoreBadge(int extra, bool active) : m_text(QStringLiteral("+") + QString::number(extra)), m_active(active) { setFixedSize(18, 18); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 4), m_active ? white.resolve(this, 0.15) : faintFill.resolve(this));
        painter.setFont(OnboardingStyle::font(9, QFont::DemiBold));
        painter.setPen(m_active ? white.resolve(this, 0.7) : faintText.resolve(this));
        painter.drawText(rect(), Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    bool m_active;
};

} // namespace

DraftGroupCard::DraftGroupCard(OnboardingFlow &flow, const DraftGroup &group, QWidget *parent)
    : QWidget(parent), m_flow(flow), m_group(group)
{
    setAcceptDrops(true);
    setAccessibleName(OnboardingFlow::displayName(group));
    const bool active = isActive();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);

    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(4);
    if (flow.editingGroupID() == group.id) {
        m_renameField = new QLineEdit(flow.editingGroupName());
        m_renameField->setObjectName(QStringLiteral("renameField"));
        m_renameField->setFont(OnboardingStyle::font(13, QFont::DemiBold));
        m_renameField->setFrame(false);
        m_renameField->setTextMargins(6, 3, 6, 3);
        setLookStyleSheet(m_renameField, this, [this] {
            return QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 6px; }")
                .arg(windowBackground.resolve(this).name(QColor::HexArgb), primaryText.resolve(this).name(QColor::HexArgb),
                     accent.resolve(this).name(QColor::HexArgb));
        });
        const QUuid id = group.id;
        connect(m_renameField, &QLineEdit::textEdited, this, [this](const QString &text) { m_flow.setEditingGroupName(text); });
        // Return and the loss of focus both end the rename; the flow ignores the second one.
        connect(m_renameField, &QLineEdit::editingFinished, this, [this, id] { m_flow.commitGroupRename(id); });
        nameRow->addWidget(m_renameField, 1);
    } else {
        TokenLabel *name = StepParts::label(OnboardingFlow::displayName(group), 13, QFont::DemiBold, active ? white : subduedText,
                                            Qt::AlignLeft | Qt::AlignVCenter, true);
        name->setObjectName(QStringLiteral("groupName"));
        name->setMinimumWidth(0);
        name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        m_nameLabel = name;
        nameRow->addWidget(name, 1);
        TextButton::Look pencilLook;
        pencilLook.symbol = QStringLiteral("pencil");
        pencilLook.symbolPoints = 10;
        pencilLook.symbolWeight = SymbolImage::Weight::Medium;
        pencilLook.color = active ? white : faintText;
        pencilLook.colorOpacity = active ? 0.7 : 1.0;
        pencilLook.padding = 3;
        auto *pencil = new TextButton(QString(), pencilLook);
        pencil->setObjectName(QStringLiteral("renameButton"));
        pencil->setFixedSize(20, 20);
        pencil->setAccessibleName(localized(QStringLiteral("onboarding.group.namePlaceholder")));
        connect(pencil, &QAbstractButton::clicked, this, [this] { m_flow.beginRenamingDraftGroup(m_group.id); });
        nameRow->addWidget(pencil);
    }
    column->addLayout(nameRow);

    QList<DockReader::DockApp> found;
    for (const QString &bundleID : group.appBundleIDs) {
        if (const std::optional<DockReader::DockApp> app = flow.dockAppForBundleID(bundleID))
            found << *app;
    }
    if (group.appBundleIDs.isEmpty()) {
        TokenLabel *hint = StepParts::label(localized(active ? QStringLiteral("onboarding.group.tapToAssign") : QStringLiteral("onboarding.group.selectFirst")),
                                            11, QFont::Normal, active ? white : secondaryText, Qt::AlignLeft);
        if (active)
            hint->setColor(DynamicColor::fixed(0x1A120A, 0.8));
        column->addWidget(hint);
    } else {
        auto *icons = new QHBoxLayout;
        icons->setSpacing(4);
        for (qsizetype i = 0; i < std::min<qsizetype>(found.size(), maxIcons); ++i)
            icons->addWidget(new AppIconView(found[i], 18, 4, false));
        if (found.size() > maxIcons)
            icons->addWidget(new MoreBadge(int(found.size()) - maxIcons, active));
        icons->addStretch();
        column->addLayout(icons);
    }
}

bool DraftGroupCard::isActive() const
{
    return m_flow.activeGroupID() == m_group.id;
}

void DraftGroupCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = ContinuousShape::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10);
    if (isActive()) {
        painter.fillPath(shape, accent.resolve(this));
        return;
    }
    painter.fillPath(shape, panel.resolve(this));
    painter.setPen(QPen(subtleFill.resolve(this), 1));
    painter.drawPath(shape);
}

void DraftGroupCard::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_flow.selectDraftGroup(m_group.id);
}

void DraftGroupCard::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_nameLabel && m_nameLabel->geometry().contains(event->position().toPoint()))
        m_flow.beginRenamingDraftGroup(m_group.id);
}

std::optional<QString> DraftGroupCard::droppedApp(const OnboardingFlow &flow, const QMimeData *mime)
{
    if (!mime || !mime->hasText())
        return std::nullopt;
    const QString text = mime->text();
    if (!flow.acceptsDroppedApp(text))
        return std::nullopt;
    return text;
}

void DraftGroupCard::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedApp(m_flow, event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DraftGroupCard::dragMoveEvent(QDragMoveEvent *event)
{
    if (droppedApp(m_flow, event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DraftGroupCard::dropEvent(QDropEvent *event)
{
    const std::optional<QString> app = droppedApp(m_flow, event->mimeData());
    if (!app) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The card may be rebuilt by the assignment: finish the drop first.
    const QUuid id = m_group.id;
    QPointer<OnboardingFlow> flow(&m_flow);
    const QString bundleID = *app;
    QMetaObject::invokeMethod(flow, [flow, bundleID, id] {
        if (flow)
            flow->assignDroppedApp(bundleID, id);
    }, Qt::QueuedConnection);
}
