#include "Kestrowan/mainwindow/SettingsWidgets.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/NVLXMenu.h"
#include "NVLXDesign/SoftShadow.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <QVariantAnimation>
#include <QVBoxLayout>

SymbolView::SymbolView(const QString &name, qreal pointSize, const DynamicColor &color, QWidget *parent,
                       SymbolImage::Weight weight)
    : QWidget(parent)
    , m_name(name)
    , m_pointSize(pointSize)
    , m_color(color)
    , m_weight(weight)
{
    QSizeF size(pointSize, pointSize);
    if (const std::optional<SymbolImage> symbol = SymbolImage::named(name))
        size = symbol->configured(pointSize, weight, Qt::black).size();
    setFixedSize(size.toSize().expandedTo(QSize(1, 1)));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setColor(const DynamicColor &color)
{
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    const std::optional<SymbolImage> symbol = SymbolImage::named(m_name);
    if (!symbol)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    symbol->configured(m_pointSize, m_weight, m_color.resolve(this)).render(painter, QRectF(rect()));
}

SettingsSwitch::SettingsSwitch(QWidget *parent)
    : QAbstractButton(parent)
    , m_knob(new QVariantAnimation(this))
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    applyPointerCursor(this);
    m_knob->setDuration(150);
    m_knob->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_knob, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_position = value.toReal();
        update();
    });
    // The state changes at once; only the knob's travel is animated.
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        m_knob->stop();
        m_knob->setStartValue(m_position);
        m_knob->setEndValue(on ? 1.0 : 0.0);
        m_knob->start();
    });
}

void SettingsSwitch::setOn(bool on)
{
    if (isChecked() == on)
        return;
    const QSignalBlocker quiet(this);
    setChecked(on);
    m_knob->stop();
    m_position = on ? 1.0 : 0.0;
    update();
}

void SettingsSwitch::nextCheckState()
{
    setChecked(!isChecked());
}

QSize SettingsSwitch::sizeHint() const
{
    return {38, 22};
}

void SettingsSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const bool dark = effectiveAppearance(this) == EffectiveAppearance::Dark;
    const QColor off = dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(0xE2, 0xE2, 0xE6);
    const QColor on = AppColors::accent.resolve(this);
    QColor fill = off;
    fill.setRedF(off.redF() + (on.redF() - off.redF()) * m_position);
    fill.setGreenF(off.greenF() + (on.greenF() - off.greenF()) * m_position);
    fill.setBlueF(off.blueF() + (on.blueF() - off.blueF()) * m_position);
    if (!isEnabled())
        fill.setAlphaF(0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(ContinuousShape::capsule(track));
    const qreal knobSize = track.height() - 4;
    const QRectF knob(track.left() + 2 + (track.width() - knobSize - 4) * m_position, track.top() + 2, knobSize, knobSize);
    paintSoftShadow(painter, knob, knobSize / 2, QColor(0, 0, 0, 60), 1.5, QPointF(0, 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}

SettingsCard::SettingsCard(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    // Room for the shadow under the card's outline.
    layout->setContentsMargins(1, 1, 1, 3);
    layout->setSpacing(0);
}

void SettingsCard::addRow(QWidget *row)
{
    static_cast<QVBoxLayout *>(layout())->addWidget(row);
}

void SettingsCard::addDivider()
{
    static_cast<QVBoxLayout *>(layout())->addWidget(new DSDivider(this));
}

void SettingsCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect()).adjusted(1, 1, -1, -3);
    paintSoftShadow(painter, card, 12, AppColors::shadow.resolve(this), 1.5, QPointF(0, 1));
    const QPainterPath shape = ContinuousShape::roundedRect(card, 12);
    painter.fillPath(shape, AppColors::surface.resolve(this));
    painter.setPen(QPen(AppColors::borderCard.resolve(this), 1));
    painter.drawPath(ContinuousShape::roundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 11.5));
}

namespace {

// One segment: its label on a raised chip while selected.
class Segment : public PointerPlainButton {
public:
    Segment(const QString &label, int horizontalPadding, QWidget *parent)
        : PointerPlainButton(parent)
    {
        m_label = new TokenLabel(label, AppColors::text3, SystemFont::font(11), this);
        m_label->setAlignment(Qt::AlignCenter);
        auto *content = new QWidget(this);
        auto *layout = new QHBoxLayout(content);
        layout->setContentsMargins(horizontalPadding, 6, horizontalPadding, 6);
        layout->addWidget(m_label);
        setContent(content);
    }

    void setSelected(bool selected)
    {
        m_selected = selected;
        m_label->setFont(SystemFont::font(11, selected ? QFont::Medium : QFont::Normal));
        m_label->setColor(selected ? AppColors::text1 : AppColors::text3);
        setAccessibleDescription(selected ? QStringLiteral("selected") : QString());
        update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (m_selected) {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF chip = QRectF(rect()).adjusted(0, 0, 0, -1);
            paintSoftShadow(painter, chip, 6, AppColors::shadowMd.resolve(this), 1, QPointF(0, 1));
            painter.fillPath(ContinuousShape::roundedRect(chip, 6), AppColors::surfaceElevated.resolve(this));
        }
        PointerPlainButton::paintEvent(event);
    }

private:
    TokenLabel *m_label;
    bool m_selected = false;
};

} // namespace

SegmentedChoice::SegmentedChoice(const QList<Option> &options, int horizontalPadding, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    for (const Option &option : options) {
        auto *segment = new Segment(option.label, horizontalPadding, this);
        segment->setObjectName(option.value);
        segment->setAccessibleName(option.accessibleName);
        connect(segment, &QAbstractButton::clicked, this, [this, value = option.value] { emit picked(value); });
        layout->addWidget(segment);
        m_segments.append(segment);
    }
    setAccessibleName(QStringLiteral("segmented choice"));
}

void SegmentedChoice::setSelected(const QString &value)
{
    m_selected = value;
    for (QAbstractButton *segment : std::as_const(m_segments))
        static_cast<Segment *>(segment)->setSelected(segment->objectName() == value);
}

QAbstractButton *SegmentedChoice::segment(const QString &value) const
{
    for (QAbstractButton *segment : m_segments) {
        if (segment->objectName() == value)
            return segment;
    }
    return nullptr;
}

void SegmentedChoice::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 10), AppColors::bgBadge.resolve(this));
}

SettingsPopUpButton::SettingsPopUpButton(QWidget *parent)
    : QComboBox(parent)
{
    setFont(SystemFont::font(13));
    setMinimumHeight(26);
    applyPointerCursor(this);
}

void SettingsPopUpButton::showPopup()
{
    if (m_menu)
        return;
    auto *menu = new NVLXMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setMinimumWidth(width());
    for (int i = 0; i < count(); ++i) {
        QAction *choice = menu->addAction(itemText(i));
        choice->setCheckable(true);
        choice->setChecked(i == currentIndex());
        // Once the menu has finished with the click: a choice may rebuild the page that holds
        // this button, and the menu with it.
        connect(choice, &QAction::triggered, this, [this, i] {
            QMetaObject::invokeMethod(this, [this, i] {
                setCurrentIndex(i);
                emit activated(i);
                emit textActivated(itemText(i));
            }, Qt::QueuedConnection);
        });
    }
    // The keyboard comes back to the window the menu opened from, as it does from the style's
    // list: a platform that handed the menu the activation does not always hand it back.
    // (The window outlives this button, which a choice may rebuild away.)
    connect(menu, &QMenu::aboutToHide, this, [this] {
        QWidget *owner = window();
        QTimer::singleShot(0, owner, [owner] {
            if (QWindow *handle = owner->windowHandle(); handle && !handle->isActive())
                owner->activateWindow();
        });
    });
    m_menu = menu;
    const QList<QAction *> choices = menu->actions();
    QAction *current = choices.value(currentIndex());
    if (current)
        menu->setActiveAction(current);
    menu->popup(mapToGlobal(QPoint(0, height() + 4)));
}

void SettingsPopUpButton::hidePopup()
{
    if (m_menu)
        m_menu->close();
}

void SettingsPopUpButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillPath(ContinuousShape::roundedRect(track, 8), AppColors::bgBadge.resolve(this));
    painter.setPen(QPen(AppColors::border.resolve(this), 1));
    painter.drawPath(ContinuousShape::roundedRect(track, 8));
    const QRectF chevronBox(width() - 24, (height() - 14) / 2.0, 14, 14);
    if (const std::optional<SymbolImage> chevron = SymbolImage::named(QStringLiteral("chevron.up.chevron.down"))) {
        const SymbolImage drawn = chevron->configured(11, SymbolImage::Weight::Medium, AppColors::text2.resolve(this));
        const QSizeF size = drawn.size();
        drawn.render(painter, QRectF(chevronBox.center() - QPointF(size.width() / 2, size.height() / 2), size));
    }
    painter.setPen(AppColors::text1.resolve(this));
    painter.setFont(font());
    const QRectF text = QRectF(rect()).adjusted(10, 0, -30, 0);
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                     painter.fontMetrics().elidedText(currentText(), Qt::ElideRight, int(text.width())));
}

QWidget *makeSettingsSectionHeader(const QString &symbol, const QString &title, QWidget *parent)
{
    auto *header = new QWidget(parent);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(new SymbolView(symbol, 13, AppColors::text2, header), 0, Qt::AlignVCenter);
    auto *label = new TokenLabel(title, AppColors::text2, SystemFont::font(11, QFont::DemiBold), header);
    label->setObjectName(QStringLiteral("sectionTitle"));
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return header;
}

QWidget *makeSettingsToggleRow(const QString &title, SettingsSwitch *toggle, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 10, 14, 10);
    auto *label = new TokenLabel(title, AppColors::text1, SystemFont::font(13), row);
    label->setWordWrap(true);
    layout->addWidget(label, 1);
    toggle->setParent(row);
    toggle->setAccessibleName(title);
    layout->addWidget(toggle, 0, Qt::AlignVCenter);
    return row;
}
