#include "Kestrowan/onboarding/WelcomeStep.h"

#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/onboarding/AppIconView.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/SymbolBadge.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QVBoxLayout>

WelcomeStep::WelcomeStep(const OnboardingFlow &flow, QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    column->addStretch();

    SymbolBadge::Look badge;
    badge.fill = OnboardingColors::accent;
    badge.symbol = QStringLiteral("dock.rectangle");
    badge.shadow = OnboardingColors::accentShadow;
    // The badge's shadow margin already keeps it apart from the texts.
    auto *badgeView = new SymbolBadge(badge);
    StepParts::addCentred(column, badgeView);
    column->addSpacing(-int(badge.shadowRadius + badge.shadowOffset));

    const QList<DockReader::DockApp> &apps = flow.dockApps();
    column->addLayout(StepParts::headline(localized(QStringLiteral("onboarding.welcome.title")),
                                          localizedFormat(QStringLiteral("onboarding.welcome.valueProp"), {apps.size()}), 400));

    auto *strip = new QVBoxLayout;
    strip->setContentsMargins(0, 12, 0, 12);
    strip->setSpacing(10);
    const qsizetype kept = std::min<qsizetype>(apps.size(), maxIcons);
    for (qsizetype start = 0; start < kept; start += iconsPerRow) {
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        row->addStretch();
        for (qsizetype i = start; i < std::min<qsizetype>(start + iconsPerRow, kept); ++i)
            row->addWidget(new AppIconView(apps[i], 44, 11, flow.runningBundleIDs().contains(apps[i].bundleIdentifier)));
        row->addStretch();
        strip->addLayout(row);
    }
    if (apps.size() > kept) {
        TokenLabel *more = StepParts::label(localizedFormat(QStringLiteral("onboarding.dock.moreApps"), {apps.size() - kept}), 11,
                                            QFont::Normal, OnboardingColors::secondaryText);
        more->setObjectName(QStringLiteral("moreApps"));
        strip->addWidget(more);
    }
    column->addLayout(strip);
    column->addStretch();
}
