#include "Kestrowan/onboarding/PreviewStep.h"

#include "Kestrowan/onboarding/MockPopup.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/SymbolBadge.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

QWidget *featureCard(const QString &symbol, const QString &key)
{
    auto *card = new SurfaceFrame([](EffectiveAppearance appearance) {
        return RoundedSurface::toolbarButton(8, false, false, appearance);
    });
    auto *row = new QHBoxLayout(card);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    SymbolBadge::Look tile;
    tile.side = 24;
    tile.corner = 6;
    tile.fill = OnboardingColors::accent;
    tile.fillOpacity = 0.10;
    tile.symbol = symbol;
    tile.symbolPoints = 12;
    tile.symbolColor = OnboardingColors::accent;
    row->addWidget(new SymbolBadge(tile), 0, Qt::AlignVCenter);
    TokenLabel *text = StepParts::label(localized(key), 11, QFont::Medium, OnboardingColors::subduedText, Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(text, 1);
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return card;
}

} // namespace

PreviewStep::PreviewStep(const OnboardingFlow &flow, QWidget *parent)
    : QWidget(parent), m_popup(new MockPopup(flow.previewGroupName(), flow.dockApps()))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    column->addStretch();
    column->addLayout(StepParts::headline(localized(QStringLiteral("onboarding.preview.title")),
                                          localized(QStringLiteral("onboarding.preview.subtitle")), 420));
    StepParts::addCentred(column, m_popup);
    auto *cards = new QHBoxLayout;
    cards->setContentsMargins(8, 0, 8, 0);
    cards->setSpacing(14);
    cards->addWidget(featureCard(QStringLiteral("doc.on.doc"), QStringLiteral("onboarding.preview.notJustApps")), 1);
    cards->addWidget(featureCard(QStringLiteral("arrow.up.forward.app"), QStringLiteral("onboarding.preview.customOpener")), 1);
    cards->addWidget(featureCard(QStringLiteral("paintbrush"), QStringLiteral("onboarding.preview.skins")), 1);
    column->addLayout(cards);
    column->addStretch();
}
