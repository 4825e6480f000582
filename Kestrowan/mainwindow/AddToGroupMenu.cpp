#include "Kestrowan/mainwindow/AddToGroupMenu.h"

#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVariantAnimation>
#include <QVBoxLayout>

namespace {

// A 36-point rounded tile with the row's symbol on it.
class IconTile final : public QWidget {
public:
    IconTile(const QString &icon, const DynamicColor &iconColor, const AddToGroupMenuRow::Tile &background, QWidget *parent)
        : QWidget(parent)
        , m_background(background)
    {
        setFixedSize(36, 36);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new SymbolView(icon, 16, iconColor, this), 0, Qt::AlignCenter);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 9),
                         m_background.fill.resolve(this, m_background.fillOpacity));
    }

private:
    AddToGroupMenuRow::Tile m_background;
};

} // namespace

AddToGroupMenuRow::AddToGroupMenuRow(const QString &icon, const DynamicColor &iconColor, const Tile &iconBackground,
                                     const QString &title, const QString &subtitle, std::function<void()> action,
                                     QWidget *parent)
    : PointerPlainButton(parent)
    , m_fade(new QVariantAnimation(this))
{
    auto *content = new QWidget(this);
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(12);
    layout->addWidget(new IconTile(icon, iconColor, iconBackground, content), 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *titleLabel = new TokenLabel(title, AppColors::text1, SystemFont::font(13, QFont::Medium), content);
    auto *subtitleLabel = new TokenLabel(subtitle, AppColors::text3, SystemFont::font(11), content);
    // The menu is a fixed width and its texts have no line limit: a subtitle too long for one line
    // ("Choose from the apps in your Dock") wraps and the row grows, rather than ending in "…".
    titleLabel->setWordWrap(true);
    subtitleLabel->setWordWrap(true);
    texts->addWidget(titleLabel);
    texts->addWidget(subtitleLabel);
    layout->addLayout(texts, 1);
    layout->addWidget(new SymbolView(QStringLiteral("chevron.right"), 13, AppColors::text4, content), 0, Qt::AlignVCenter);
    setContent(content);
    setMinimumHeight(56);
    setAccessibleName(title);
    setAccessibleDescription(subtitle);
    m_fade->setDuration(120);
    m_fade->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_highlight = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action)
            action();
    });
}

void AddToGroupMenuRow::enterEvent(QEnterEvent *event)
{
    PointerPlainButton::enterEvent(event);
    setHovering(true);
}

void AddToGroupMenuRow::leaveEvent(QEvent *event)
{
    PointerPlainButton::leaveEvent(event);
    setHovering(false);
}

void AddToGroupMenuRow::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    // The state is there at once; the highlight follows.
    m_hovering = hovering;
    m_fade->stop();
    m_fade->setStartValue(m_highlight);
    m_fade->setEndValue(hovering ? 1.0 : 0.0);
    m_fade->start();
}

void AddToGroupMenuRow::paintEvent(QPaintEvent *event)
{
    if (m_highlight > 0) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 8), AppColors::bgHover.resolve(this, m_highlight));
    }
    PointerPlainButton::paintEvent(event);
}

AddToGroupMenu::AddToGroupMenu(std::function<void()> onDockApps, std::function<void()> onApps,
                               std::function<void()> onFiles, std::function<void()> onFolders, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("addToGroupMenu"));
    setFixedWidth(menuWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(14, 10, 14, 10);
    headerLayout->addWidget(new TokenLabel(localized(QStringLiteral("menu.addToGroup")), AppColors::text1,
                                           SystemFont::font(13, QFont::DemiBold), header));
    headerLayout->addStretch(1);
    layout->addWidget(header);
    layout->addWidget(new DSDivider(this));

    auto *list = new QWidget(this);
    auto *rows = new QVBoxLayout(list);
    rows->setContentsMargins(6, 6, 6, 6);
    rows->setSpacing(2);
    static constexpr DynamicColor white = DynamicColor::fixed(0xFFFFFF);
    struct Row {
        const char *icon;
        DynamicColor color;
        AddToGroupMenuRow::Tile tile;
        const char *key;
        std::function<void()> action;
    };
    const Row table[] = {
        {"dock.rectangle", AppColors::info, {AppColors::info, 0.08}, "menu.dockApps", std::move(onDockApps)},
        {"square.grid.2x2", white, {AppColors::accent, 1.0}, "menu.apps", std::move(onApps)},
        {"doc.text", AppColors::success, {AppColors::success, 0.07}, "menu.files", std::move(onFiles)},
        {"folder", AppColors::warning, {AppColors::warning, 0.07}, "menu.folders", std::move(onFolders)},
    };
    for (const Row &row : table) {
        const QString key = QString::fromLatin1(row.key);
        auto *widget = new AddToGroupMenuRow(QString::fromLatin1(row.icon), row.color, row.tile, localized(key),
                                             localized(key + QStringLiteral("Desc")), row.action, list);
        widget->setObjectName(key);
        rows->addWidget(widget);
        m_rows.append(widget);
    }
    layout->addWidget(list);
}
