#include "Kestrowan/mainwindow/PickerChrome.h"

#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int horizontalInset = 16;
constexpr int verticalInset = 12;

} // namespace

namespace PickerChrome {

Header makeHeader(const QString &title, QWidget *parent)
{
    Header header;
    header.widget = new QWidget(parent);
    auto *layout = new QHBoxLayout(header.widget);
    layout->setContentsMargins(horizontalInset, verticalInset, horizontalInset, verticalInset);
    auto *titleLabel = new TokenLabel(title, AppColors::text1, SystemFont::font(13, QFont::DemiBold), header.widget);
    header.count = new TokenLabel(QString(), AppColors::text2, SystemFont::font(13), header.widget);
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    layout->addWidget(header.count);
    return header;
}

void setSelectedCount(QLabel *label, qsizetype count)
{
    label->setText(localizedFormat(QStringLiteral("picker.selected"), {count}));
}

Footer makeFooter(QWidget *parent)
{
    Footer footer;
    footer.widget = new QWidget(parent);
    auto *layout = new QHBoxLayout(footer.widget);
    layout->setContentsMargins(horizontalInset, verticalInset, horizontalInset, verticalInset);
    footer.cancel = new NVLXButton(NVLXButtonStyle::Secondary, localized(QStringLiteral("picker.cancel")), footer.widget);
    footer.done = new NVLXButton(NVLXButtonStyle::Primary, localized(QStringLiteral("picker.done")), footer.widget);
    layout->addWidget(footer.cancel);
    layout->addStretch(1);
    layout->addWidget(footer.done);
    return footer;
}

} // namespace PickerChrome
