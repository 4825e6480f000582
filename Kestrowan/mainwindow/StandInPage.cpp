#include "Kestrowan/mainwindow/StandInPage.h"

#include "Kestrowan/mainwindow/PickerChrome.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/SystemFont.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *title(const QString &text, qreal points, QWidget *parent)
{
    QLabel *label = PickerChrome::tokenLabel(AppColors::text1, parent);
    label->setText(text);
    label->setFont(SystemFont::font(points, QFont::DemiBold));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

namespace StandInPage {

QWidget *detail(const QString &text, std::function<void()> onBack)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(18, 14, 18, 18);
    auto *back = new NVLXButton(NVLXButtonStyle::Ghost, QString(), page);
    back->setIcon(QIcon());
    back->setText(QStringLiteral("‹ ") + localized(QStringLiteral("groupList.title")));
    QObject::connect(back, &QAbstractButton::clicked, page, std::move(onBack));
    layout->addWidget(back, 0, Qt::AlignLeft);
    layout->addStretch(1);
    layout->addWidget(title(text, 20, page));
    layout->addStretch(2);
    return page;
}

QWidget *onboarding(std::function<void()> onSkip)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch(1);
    layout->addWidget(title(localized(QStringLiteral("onboarding.welcome.title")), 24, page));
    layout->addSpacing(16);
    auto *skip = new NVLXButton(NVLXButtonStyle::Primary, localized(QStringLiteral("onboarding.skip")), page);
    QObject::connect(skip, &QAbstractButton::clicked, page, std::move(onSkip));
    layout->addWidget(skip, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

QWidget *missingGroup()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(title(localized(QStringLiteral("groupList.title")), 13, page));
    return page;
}

} // namespace StandInPage
