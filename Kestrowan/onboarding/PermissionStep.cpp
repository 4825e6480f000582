#include "Kestrowan/onboarding/PermissionStep.h"

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/onboarding/FilledButton.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/onboarding/StepParts.h"
#include "Kestrowan/onboarding/SymbolBadge.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// A column of the comparison: a title with its symbol, then three bullet rows, on a rounded fill.
class ComparisonColumn final : public QWidget {
public:
    ComparisonColumn(const QString &symbol, const QString &titleKey, const QStringList &bulletKeys, const DynamicColor &titleColor,
                     const DynamicColor &fill, qreal fillOpacity)
        : m_fill(fill), m_fillOpacity(fillOpacity)
    {
        auto *column = new QVBoxLayout(this);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(10);
        auto *title = new QHBoxLayout;
        title->setSpacing(5);
        SymbolBadge::Look mark;
        mark.side = 14;
        mark.corner = 0;
        mark.fill = DynamicColor::fixed(0, 0);
        mark.symbol = symbol;
        mark.symbolPoints = 13;
        mark.weight = SymbolImage::Weight::Semibold;
        mark.symbolColor = titleColor;
        title->addWidget(new SymbolBadge(mark));
        title->addWidget(StepParts::label(localized(titleKey), 13, QFont::DemiBold, titleColor, Qt::AlignLeft | Qt::AlignVCenter), 1);
        column->addLayout(title);
        auto *bullets = new QVBoxLayout;
        bullets->setSpacing(6);
        for (const QString &key : bulletKeys) {
            auto *row = new QHBoxLayout;
            row->setSpacing(6);
            row->addWidget(StepParts::label(QStringLiteral("\u2022"), 11, QFont::Normal, OnboardingColors::faintText, Qt::AlignLeft | Qt::AlignTop, true),
                           0, Qt::AlignTop);
            row->addWidget(StepParts::label(localized(key), 11, QFont::Normal, OnboardingColors::secondaryText, Qt::AlignLeft | Qt::AlignTop), 1);
            bullets->addLayout(row);
        }
        column->addLayout(bullets);
        column->addStretch();
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 10), m_fill.resolve(this, m_fillOpacity));
    }

private:
    DynamicColor m_fill;
    qreal m_fillOpacity;
};

} // namespace

PermissionStep::PermissionStep(PermissionManagerInterface *permissions, QWidget *parent)
    : QWidget(parent), m_permissions(permissions)
{
    const bool granted = permissions && permissions->isAccessibilityGranted();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    column->addStretch();

    SymbolBadge::Look badge;
    badge.fill = granted ? OnboardingColors::successGreen : OnboardingColors::warningOrange;
    badge.fillOpacity = 0.14;
    badge.symbol = granted ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("hand.raised.fill");
    badge.symbolPoints = 24;
    badge.weight = SymbolImage::Weight::Regular;
    badge.symbolColor = badge.fill;
    StepParts::addCentred(column, new SymbolBadge(badge));
    // The title says where things stand: an invitation while access is missing, done once it is given.
    const QString titleKey = granted ? QStringLiteral("onboarding.permission.afterGroup.grantedTitle")
                                     : QStringLiteral("onboarding.permission.afterGroup.title");
    column->addLayout(StepParts::headline(localized(titleKey), QString(), 0));

    if (granted) {
        TokenLabel *done = StepParts::label(localized(QStringLiteral("onboarding.permission.afterGroup.granted")), 13, QFont::Normal,
                                            OnboardingColors::secondaryText);
        done->setObjectName(QStringLiteral("grantedText"));
        done->setMaximumWidth(420);
        StepParts::addCentred(column, done);
    } else {
        auto *comparison = new QHBoxLayout;
        comparison->setContentsMargins(8, 0, 8, 0);
        comparison->setSpacing(10);
        comparison->addWidget(new ComparisonColumn(QStringLiteral("checkmark.circle.fill"), QStringLiteral("onboarding.permission.withAccess.title"),
                                                   {QStringLiteral("onboarding.permission.withAccess.hover"),
                                                    QStringLiteral("onboarding.permission.withAccess.popup"),
                                                    QStringLiteral("onboarding.permission.withAccess.smooth")},
                                                   OnboardingColors::successGreen, OnboardingColors::successGreen, 0.05),
                              1);
        comparison->addWidget(new ComparisonColumn(QStringLiteral("info.circle.fill"), QStringLiteral("onboarding.permission.withoutAccess.title"),
                                                   {QStringLiteral("onboarding.permission.withoutAccess.click"),
                                                    QStringLiteral("onboarding.permission.withoutAccess.groups"),
                                                    QStringLiteral("onboarding.permission.withoutAccess.later")},
                                                   OnboardingColors::secondaryText, OnboardingColors::faintFill, 1.0),
                              1);
        column->addLayout(comparison);

        FilledButton::Look look;
        look.symbol = QStringLiteral("lock.open");
        look.verticalPadding = 8;
        look.fill = OnboardingColors::accent;
        look.shadow = OnboardingColors::accentShadow;
        m_authorize = new FilledButton(localized(QStringLiteral("onboarding.permission.afterGroup.authorize")), look);
        m_authorize->setAccessibleDescription(localized(QStringLiteral("ax.grantPermission.hint")));
        connect(m_authorize, &QAbstractButton::clicked, this, &PermissionStep::requestAccessibilityAccess);
        column->addSpacing(-10);
        StepParts::addCentred(column, m_authorize);
    }
    column->addStretch();
}

void PermissionStep::requestAccessibilityAccess()
{
    if (!m_permissions)
        return;
    // The manager shows the platform's prompt and reads the trust again at once.
    m_permissions->requestAccessibility();
    m_permissions->refreshAccessibilityStatus();
}
