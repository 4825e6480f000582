#include "Kestrowan/mainwindow/PickerChrome.h"

#include "Kestrowan/mainwindow/LocalizedFormat.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int horizontalInset = 16;
constexpr int verticalInset = 12;

// A label whose colour token is applied again whenever the appearance changes.
class TokenLabel final : public QLabel {
public:
    TokenLabel(const DynamicColor &color, QWidget *parent) : QLabel(parent), m_color(color) { apply(); }

protected:
    void changeEvent(QEvent *event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::PaletteChange)
            apply();
    }

private:
    void apply()
    {
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, m_color.resolve(effectiveAppearance(this)));
        setPalette(palette);
    }
    DynamicColor m_color;
};

} // namespace

namespace PickerChrome {

Header makeHeader(const QString &title, QWidget *parent)
{
    Header header;
    header.widget = new QWidget(parent);
    auto *layout = new QHBoxLayout(header.widget);
    layout->setContentsMargins(horizontalInset, verticalInset, horizontalInset, verticalInset);
    auto *titleLabel = new TokenLabel(AppColors::text1, header.widget);
    titleLabel->setText(title);
    titleLabel->setFont(SystemFont::font(13, QFont::DemiBold));
    header.count = new TokenLabel(AppColors::text2, header.widget);
    header.count->setFont(SystemFont::font(13));
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

QLabel *tokenLabel(const DynamicColor &color, QWidget *parent)
{
    return new TokenLabel(color, parent);
}

} // namespace PickerChrome
