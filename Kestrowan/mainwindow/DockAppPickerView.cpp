#include "Kestrowan/mainwindow/DockAppPickerView.h"

#include "Kestrowan/groups/DockReader.h"
#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/SlimScrollBar.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr qreal iconSide = 22;

// One Dock application: icon and name, accent-framed while chosen.
class DockAppCell final : public PointerPlainButton {
public:
    DockAppCell(const AppItem &app, std::function<bool()> isSelected, QWidget *parent)
        : PointerPlainButton(parent)
        , m_app(app)
        , m_isSelected(std::move(isSelected))
    {
        setAccessibleName(app.name);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        takeIcon();
        // Icons are decoded out of the program; the generic symbol shows until this one is in.
        ApplicationIcon::followArrivals(this, [this] {
            if (m_iconPending) {
                takeIcon();
                update();
            }
        });
    }

    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(font12());
        return QSize(120, std::max(36, int(std::ceil(std::max(iconSide, metrics.height()) + 14))));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setOpacity(isDown() ? pressedOpacity : 1.0);
        const EffectiveAppearance appearance = effectiveAppearance(this);
        const bool selected = m_isSelected();
        const qreal line = selected ? 1.5 : 1.0;
        const QRectF box = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
        const QPainterPath shape = ContinuousShape::roundedRect(box, 8);
        painter.fillPath(shape, selected ? AppColors::accent.resolve(appearance, 0.08) : AppColors::bgHover.resolve(appearance));
        painter.setPen(QPen((selected ? AppColors::accent : AppColors::borderCard).resolve(appearance), line));
        painter.drawPath(shape);

        const QRectF iconRect(10, (height() - iconSide) / 2, iconSide, iconSide);
        painter.save();
        painter.setClipPath(ContinuousShape::roundedRect(iconRect, 6));
        painter.drawPixmap(iconRect, m_icon, QRectF());
        painter.restore();
        const QFont font = font12();
        const qreal textLeft = iconRect.right() + 8;
        const qreal textWidth = std::max<qreal>(0, width() - 10 - textLeft);
        painter.setFont(font);
        painter.setPen((selected ? AppColors::accentInk : AppColors::text1).resolve(appearance));
        painter.drawText(QRectF(textLeft, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(font).elidedText(m_app.name, Qt::ElideRight, textWidth));
    }

private:
    void takeIcon()
    {
        const qreal scale = devicePixelRatioF();
        const ApplicationIcon::Picture drawn = ApplicationIcon::of(m_app, qRound(iconSide * scale));
        m_iconPending = drawn.pending;
        m_icon = QPixmap::fromImage(drawn.image);
        m_icon.setDevicePixelRatio(m_icon.isNull() ? scale : std::max(m_icon.width(), m_icon.height()) / iconSide);
    }

    static QFont font12() { return SystemFont::font(12, QFont::Medium); }

    AppItem m_app;
    std::function<bool()> m_isSelected;
    QPixmap m_icon;
    bool m_iconPending = false;
};

} // namespace

DockAppPickerView::DockAppPickerView(const QList<AppItem> &selectedApps, QWidget *parent)
    : DockAppPickerView(selectedApps, DockReader::appItemsFromDockApps(DockReader::dockApps()), parent)
{
}

DockAppPickerView::DockAppPickerView(const QList<AppItem> &selectedApps, const QList<AppItem> &dockApps, QWidget *parent)
    : StagedPicker(localized(QStringLiteral("picker.dockTitle")), selectedApps, parent)
    , m_dockApps(dockApps)
{
    auto *scroll = new QScrollArea(this);
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSlimScrollBar(scroll->verticalScrollBar());
    scroll->viewport()->setAutoFillBackground(false);
    auto *content = new QWidget(scroll);
    if (m_dockApps.isEmpty()) {
        auto *contentLayout = new QVBoxLayout(content);
        contentLayout->setContentsMargins(14, 12, 14, 12);
        auto *empty = new TokenLabel(localized(QStringLiteral("picker.dockEmpty")), AppColors::text2, SystemFont::font(13), content);
        empty->setWordWrap(true);
        contentLayout->addWidget(empty);
        contentLayout->addStretch(1);
    } else {
        auto *grid = new QGridLayout(content);
        grid->setContentsMargins(12, 10, 12, 10);
        grid->setSpacing(8);
        for (int i = 0; i < m_dockApps.size(); ++i) {
            const AppItem app = m_dockApps.at(i);
            auto *cell = new DockAppCell(app, [this, id = app.bundleIdentifier] { return staged().isSelected(id); }, content);
            connect(cell, &QAbstractButton::clicked, this, [this, app] { toggleStaged(app); });
            grid->addWidget(cell, i / 2, i % 2);
            m_cells.append(cell);
        }
        grid->setColumnStretch(0, 1);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(int((m_dockApps.size() + 1) / 2), 1);
    }
    scroll->setWidget(content);
    // The scroll area would paint the content on the window colour.
    content->setAutoFillBackground(false);
    body()->addWidget(scroll, 1);
    // The sheet opens with the keyboard on the picker itself, not on a button of its footer.
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
}

void DockAppPickerView::selectionChanged()
{
    for (QAbstractButton *cell : std::as_const(m_cells))
        cell->update();
}
