#include "Kestrowan/onboarding/DoneStep.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/onboarding/AppIconView.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/SymbolBadge.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

using namespace OnboardingColors;

namespace {

// A rounded fill (and outline) behind whatever a layout puts on it.
class RoundedBox final : public QWidget {
public:
    RoundedBox(qreal corner, DynamicColor fill, qreal fillOpacity, std::optional<DynamicColor> outline)
        : m_corner(corner), m_fill(fill), m_fillOpacity(fillOpacity), m_outline(outline)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = ContinuousShape::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_corner);
        painter.fillPath(shape, m_fill.resolve(this, m_fillOpacity));
        if (m_outline) {
            painter.setPen(QPen(m_outline->resolve(this), 1));
            painter.drawPath(shape);
        }
    }

private:
    qreal m_corner;
    DynamicColor m_fill;
    qreal m_fillOpacity;
    std::optional<DynamicColor> m_outline;
};

QWidget *plusTile(int extra)
{
    auto *tile = new RoundedBox(6, faintFill, 1.0, std::nullopt);
    tile->setFixedSize(24, 24);
    auto *layout = new QHBoxLayout(tile);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StepParts::label(QStringLiteral("+") + QString::number(extra), 10, QFont::DemiBold, secondaryText, Qt::AlignCenter, true));
    return tile;
}

QWidget *groupCard(const OnboardingFlow &flow, const DraftGroup &group)
{
    auto *card = new RoundedBox(12, panel, 1.0, subtleFill);
    card->setObjectName(QStringLiteral("doneGroupCard"));
    card->setMaximumWidth(200);
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(8);
    TokenLabel *name = StepParts::label(OnboardingFlow::displayName(group), 13, QFont::DemiBold, primaryText, Qt::AlignLeft, true);
    name->setObjectName(QStringLiteral("groupName"));
    column->addWidget(name);
    QList<DockReader::DockApp> found;
    for (const QString &bundleID : group.appBundleIDs) {
        if (const std::optional<DockReader::DockApp> app = flow.dockAppForBundleID(bundleID))
            found << *app;
    }
    if (!found.isEmpty()) {
        auto *icons = new QHBoxLayout;
        icons->setSpacing(4);
        for (qsizetype i = 0; i < std::min<qsizetype>(found.size(), DoneStep::iconsPerCard); ++i)
            icons->addWidget(new AppIconView(found[i], 24, 6, false));
        if (found.size() > DoneStep::iconsPerCard)
            icons->addWidget(plusTile(int(found.size()) - DoneStep::iconsPerCard));
        icons->addStretch();
        column->addLayout(icons);
    }
    column->addWidget(StepParts::label(localizedFormat(QStringLiteral("onboarding.done.itemCount"), {group.appBundleIDs.size()}), 11,
                                       QFont::Normal, secondaryText, Qt::AlignLeft, true));
    return card;
}

// The key in the chip: the accent's text shade is 4.5:1 on the tinted chip only on paper, and the
// thin strokes of small letters never reach their full ink; a deeper shade in the light look.
constexpr DynamicColor chipInk = DynamicColor::dynamic(0x943A14, 0xFF9966, 1.0, 1.0);

QWidget *shortcutRow(const QString &chipText, const QString &groupName)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *chip = new RoundedBox(4, accent, 0.08, std::nullopt);
    auto *chipLayout = new QHBoxLayout(chip);
    chipLayout->setContentsMargins(5, 2, 5, 2);
    auto *chipLabel = new TokenLabel(chipText, chipInk, SystemFont::monospacedFont(10, QFont::Medium));
    chipLabel->setObjectName(QStringLiteral("shortcutChip"));
    chipLayout->addWidget(chipLabel);
    layout->addWidget(chip);
    layout->addWidget(StepParts::label(groupName, 10, QFont::Normal, secondaryText, Qt::AlignLeft | Qt::AlignVCenter, true));
    return row;
}

} // namespace

QStringList DoneStep::shortcutChipTexts(int groups)
{
    QStringList texts;
    const auto &codes = KeyboardShortcutService::defaultKeyCodes;
    for (int i = 0; i < std::min<int>(groups, int(codes.size())); ++i)
        texts << GroupShortcut{QUuid(), codes[size_t(i)], KeyboardShortcutService::defaultModifier}.displayString();
    return texts;
}

DoneStep::DoneStep(const OnboardingFlow &flow, QWidget *parent) : QWidget(parent)
{
    const QList<DraftGroup> groups = flow.nonEmptyGroups();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    column->addStretch();

    SymbolBadge::Look badge;
    badge.corner = -1;
    badge.fill = successGreen;
    badge.symbol = QStringLiteral("checkmark");
    badge.symbolPoints = 28;
    badge.weight = SymbolImage::Weight::Bold;
    badge.shadow = successGreen;
    badge.shadowOpacity = 0.19;
    badge.shadowRadius = 14;
    badge.shadowOffset = 4;
    StepParts::addCentred(column, new SymbolBadge(badge));
    column->addSpacing(-18);
    column->addLayout(StepParts::headline(localized(QStringLiteral("onboarding.done.title")),
                                          localizedFormat(QStringLiteral("onboarding.done.subtitle"), {groups.size(), flow.totalApps()}), 440));

    if (!groups.isEmpty()) {
        auto *cards = new QHBoxLayout;
        cards->setContentsMargins(0, 8, 0, 8);
        cards->setSpacing(12);
        cards->addStretch();
        for (const DraftGroup &group : groups)
            cards->addWidget(groupCard(flow, group));
        cards->addStretch();
        column->addLayout(cards);
    }

    auto *preview = new QVBoxLayout;
    preview->setSpacing(4);
    auto *header = new QHBoxLayout;
    header->setSpacing(5);
    header->addStretch();
    SymbolBadge::Look keyboard;
    keyboard.side = 14;
    keyboard.corner = 0;
    keyboard.fill = DynamicColor::fixed(0, 0);
    keyboard.symbol = QStringLiteral("keyboard");
    keyboard.symbolPoints = 11;
    keyboard.weight = SymbolImage::Weight::Regular;
    keyboard.symbolColor = accent;
    header->addWidget(new SymbolBadge(keyboard));
    header->addWidget(StepParts::label(localized(QStringLiteral("onboarding.done.globalShortcuts")), 11, QFont::DemiBold, subduedText,
                                       Qt::AlignLeft | Qt::AlignVCenter, true));
    header->addStretch();
    preview->addLayout(header);
    auto *rows = new QHBoxLayout;
    rows->setSpacing(10);
    rows->addStretch();
    const QStringList chips = shortcutChipTexts(int(groups.size()));
    for (qsizetype i = 0; i < chips.size(); ++i)
        rows->addWidget(shortcutRow(chips[i], OnboardingFlow::displayName(groups[i])));
    rows->addStretch();
    preview->addLayout(rows);
    column->addLayout(preview);
    column->addStretch();
}
