#include "Kestrowan/editor/IconChoiceButton.h"

#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/SoftShadow.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

class IconChoiceButton::Outline : public QWidget {
public:
    explicit Outline(IconChoiceButton *button, QWidget *parent) : QWidget(parent), m_button(button)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The keyboard's focus shows as the selected outline would; a click's shows nothing.
        const bool selected = m_button->isSelected() || KeyboardFocusRing::showsFocusOf(m_button);
        const qreal width = selected ? 2 : 1;
        const QColor color = selected ? AppColors::accent.resolve(this) : AppColors::borderCard.resolve(this);
        painter.setPen(QPen(color, width));
        const qreal inset = width / 2;
        painter.drawPath(ContinuousShape::roundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset),
                                                      GroupIconFrame::cornerRadius(previewSide) - inset));
    }

private:
    IconChoiceButton *m_button;
};

IconChoiceButton::IconChoiceButton(const QList<AppItem> &apps, AppGroup::IconStyle style, const std::optional<SkinDefinition> &skin,
                                   SkinManager *skinManager, const QString &title, QWidget *parent)
    : PointerPlainButton(parent), m_title(title)
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_preview = new IconStylePreview(apps, style, previewSide, skin, skinManager);
    m_outline = new Outline(this, m_preview);
    m_outline->setGeometry(0, 0, int(previewSide), int(previewSide));
    layout->addWidget(m_preview, 0, Qt::AlignHCenter);
    m_titleLabel = new TokenLabel(QString(), AppColors::text2, SystemFont::font(11, QFont::Medium));
    m_titleLabel->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_titleLabel, 0, Qt::AlignHCenter);
    content->setFixedWidth(int(width));
    setContent(content);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(title);
    updateTitle();
}

void IconChoiceButton::setApps(const QList<AppItem> &apps)
{
    m_preview->setApps(apps);
}

void IconChoiceButton::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    updateTitle();
    m_outline->update();
}

void IconChoiceButton::updateTitle()
{
    const QFont font = SystemFont::font(11, m_selected ? QFont::DemiBold : QFont::Medium);
    m_titleLabel->setFont(font);
    m_titleLabel->setColor(m_selected ? AppColors::accent : AppColors::text2);
    m_titleLabel->setText(QFontMetrics(font).elidedText(m_title, Qt::ElideRight, int(width)));
    m_titleLabel->setToolTip(m_title);
}

void IconChoiceButton::paintEvent(QPaintEvent *)
{
    // The preview and its outline float on a small shadow.
    QPainter painter(this);
    const QRectF previewRect(m_preview->mapTo(this, QPoint(0, 0)), QSizeF(previewSide, previewSide));
    paintSoftShadow(painter, previewRect, GroupIconFrame::cornerRadius(previewSide), AppColors::shadowMd.resolve(this), 3,
                    QPointF(0, 2));
}

void IconChoiceButton::changeEvent(QEvent *event)
{
    PointerPlainButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}

void IconChoiceButton::focusInEvent(QFocusEvent *event)
{
    PointerPlainButton::focusInEvent(event);
    m_outline->update();
}

void IconChoiceButton::focusOutEvent(QFocusEvent *event)
{
    PointerPlainButton::focusOutEvent(event);
    m_outline->update();
}
