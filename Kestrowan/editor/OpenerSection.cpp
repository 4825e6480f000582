#include "Kestrowan/editor/OpenerSection.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/DisplayNames.h"
#include "Platform/Workspace.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr qreal kChipRadius = 5;
constexpr qreal kChipHorizontalPadding = 8;
constexpr qreal kChipVerticalPadding = 4;
constexpr qreal kChipSpacing = 5;
constexpr qreal kAppIconSide = 16;
constexpr qreal kUnknownSymbolSize = 14;
constexpr qreal kChevronSize = 8;

// A symbol drawn in a token colour at a point size, as a small fixed-size widget.
class SymbolView : public QWidget {
public:
    SymbolView(const QString &name, qreal pointSize, const DynamicColor &color, qreal frameWidth, QWidget *parent = nullptr)
        : QWidget(parent), m_name(name), m_pointSize(pointSize), m_color(color)
    {
        setFixedSize(qCeil(frameWidth), qCeil(pointSize * 1.3));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const std::optional<SymbolImage> symbol = SymbolImage::named(m_name);
        if (!symbol)
            return;
        const SymbolImage tinted = symbol->configured(m_pointSize, SymbolImage::Weight::Regular, m_color.resolve(this));
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QSizeF size = tinted.size();
        tinted.render(painter, QRectF((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height()));
    }

private:
    QString m_name;
    qreal m_pointSize;
    DynamicColor m_color;
};

std::optional<SymbolImage> tintedSymbol(const QString &name, qreal size, const QColor &color)
{
    const std::optional<SymbolImage> symbol = SymbolImage::named(name);
    if (!symbol)
        return std::nullopt;
    return symbol->configured(size, SymbolImage::Weight::Regular, color);
}

// A plain button around a widget.
PointerPlainButton *plainButton(QWidget *content)
{
    auto *button = new PointerPlainButton;
    button->setContent(content);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

} // namespace

OpenerChip::OpenerChip(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The application's icon is decoded out of the program; the generic symbol shows until it is in.
    ApplicationIcon::followArrivals(this, [this] {
        if (m_path)
            update();
    });
}

void OpenerChip::setApplication(const std::optional<QString> &path, bool isCustom)
{
    m_path = path && !path->isEmpty() ? path : std::nullopt;
    m_custom = isCustom;
    m_name = m_path ? DisplayNames::shared().displayNameAtPath(*m_path) : localized(QStringLiteral("editor.customOpener.unknown"));
    updateGeometry();
    update();
}

QFont OpenerChip::nameFont() const
{
    return SystemFont::font(11, m_path && m_custom ? QFont::Medium : QFont::Normal);
}

QSize OpenerChip::sizeHint() const
{
    const QFontMetricsF metrics(nameFont());
    const qreal leading = m_path ? kAppIconSide : kUnknownSymbolSize;
    const qreal width = 2 * kChipHorizontalPadding + leading + kChipSpacing + metrics.horizontalAdvance(m_name) + kChipSpacing + kChevronSize;
    const qreal height = 2 * kChipVerticalPadding + qMax(kAppIconSide, metrics.height());
    return QSize(qCeil(width), qCeil(height));
}

void OpenerChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds(rect());
    painter.fillPath(ContinuousShape::roundedRect(bounds, kChipRadius), AppColors::bgHover.resolve(this));
    const QColor muted = AppColors::text3.resolve(this);
    qreal x = kChipHorizontalPadding;
    const qreal centreY = bounds.center().y();
    if (m_path) {
        const QIcon icon = Workspace::shared().iconForFile(*m_path);
        icon.paint(&painter, QRectF(x, centreY - kAppIconSide / 2, kAppIconSide, kAppIconSide).toRect());
        x += kAppIconSide + kChipSpacing;
    } else if (const std::optional<SymbolImage> unknown = tintedSymbol(QStringLiteral("questionmark.app"), kUnknownSymbolSize, muted)) {
        const QSizeF size = unknown->size();
        unknown->render(painter, QRectF(x, centreY - size.height() / 2, size.width(), size.height()));
        x += kUnknownSymbolSize + kChipSpacing;
    }
    const QFont font = nameFont();
    const qreal nameWidth = QFontMetricsF(font).horizontalAdvance(m_name);
    painter.setFont(font);
    painter.setPen(m_path && m_custom ? AppColors::text1.resolve(this) : muted);
    painter.drawText(QRectF(x, 0, nameWidth + 1, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter, m_name);
    x += nameWidth + kChipSpacing;
    if (const std::optional<SymbolImage> chevron = tintedSymbol(QStringLiteral("chevron.up.chevron.down"), kChevronSize, muted)) {
        const QSizeF size = chevron->size();
        chevron->render(painter, QRectF(x, centreY - size.height() / 2, size.width(), size.height()));
    }
}

OpenerSection::OpenerSection(OpenerRulesEditor *editor, QWidget *parent) : QWidget(parent), m_editor(editor)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(6);

    auto *header = new QHBoxLayout;
    header->addWidget(new TokenLabel(localized(QStringLiteral("editor.customOpener.extRules")), AppColors::text3,
                                     SystemFont::font(11, QFont::DemiBold)));
    header->addStretch();
    m_clearAll = plainButton(new TokenLabel(localized(QStringLiteral("editor.customOpener.clear")), AppColors::text2, SystemFont::font(10)));
    connect(m_clearAll, &QAbstractButton::clicked, editor, &OpenerRulesEditor::clearAllOpeners);
    header->addWidget(m_clearAll);
    layout->addLayout(header);

    auto *hint = new TokenLabel(localized(QStringLiteral("editor.customOpener.hint")), AppColors::text3, SystemFont::font(11));
    hint->setWordWrap(true);
    layout->addWidget(hint);

    m_box = new SurfaceFrame([](EffectiveAppearance appearance) {
        return RoundedSurface{12, AppColors::surface.resolve(appearance), AppColors::borderCard.resolve(appearance), 1};
    });
    m_rows = new QVBoxLayout(m_box);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    layout->addWidget(m_box);

    connect(editor, &OpenerRulesEditor::changed, this, &OpenerSection::rebuild);
    rebuild();
}

void OpenerSection::rebuild()
{
    setVisible(m_editor->isSectionVisible());
    m_clearAll->setVisible(m_editor->hasAnyRule());
    const QStringList extensions = m_editor->extensions();
    QList<OpenerRulesEditor::ExtensionRow> rows;
    rows.reserve(extensions.size());
    for (const QString &extension : extensions)
        rows.append(m_editor->row(extension));
    // Rows that would come out as they are stay (and so do their buttons).
    if (rows == m_shownRows && !m_shownRows.isEmpty())
        return;
    m_shownRows = rows;
    // The rows go later: a click on one of their buttons may be what asked for this.
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->setObjectName(QString());
            widget->deleteLater();
        }
        delete item;
    }
    m_shownExtensions = extensions;
    for (int i = 0; i < m_shownExtensions.size(); ++i) {
        const QString extension = m_shownExtensions[i];
        if (i > 0)
            m_rows->addWidget(new DSDivider);
        const OpenerRulesEditor::ExtensionRow &row = rows.at(i);
        auto *rowWidget = new QWidget;
        rowWidget->setObjectName(QStringLiteral("row.") + extension);
        auto *line = new QHBoxLayout(rowWidget);
        line->setContentsMargins(12, 8, 12, 8);
        line->setSpacing(10);
        line->addWidget(new SymbolView(OpenerRulesEditor::extensionSymbol(extension), 12, AppColors::text3, 18));
        auto *name = new TokenLabel(QLatin1Char('.') + extension, AppColors::text2, SystemFont::monospacedFont(11, QFont::Medium));
        name->setMinimumWidth(50);
        line->addWidget(name);
        line->addStretch();
        auto *chip = new OpenerChip;
        chip->setObjectName(QStringLiteral("chip"));
        chip->setApplication(row.applicationPath, row.isCustom);
        auto *chipButton = plainButton(chip);
        chipButton->setObjectName(QStringLiteral("chipButton"));
        connect(chipButton, &QAbstractButton::clicked, m_editor, [this, extension] { m_editor->chooseExtensionOpener(extension); });
        line->addWidget(chipButton);
        if (row.isCustom) {
            auto *clear = plainButton(new SymbolView(QStringLiteral("xmark.circle.fill"), 13, AppColors::text4, 16));
            clear->setObjectName(QStringLiteral("clear"));
            connect(clear, &QAbstractButton::clicked, m_editor, [this, extension] { m_editor->clearExtensionOpener(extension); });
            line->addWidget(clear);
        }
        m_rows->addWidget(rowWidget);
    }
    m_box->setVisible(!m_shownExtensions.isEmpty());
}

OpenerChip *OpenerSection::chip(const QString &extension) const
{
    QWidget *row = m_box->findChild<QWidget *>(QStringLiteral("row.") + extension);
    return row ? row->findChild<OpenerChip *>(QStringLiteral("chip")) : nullptr;
}

PointerPlainButton *OpenerSection::chipButton(const QString &extension) const
{
    QWidget *row = m_box->findChild<QWidget *>(QStringLiteral("row.") + extension);
    return row ? row->findChild<PointerPlainButton *>(QStringLiteral("chipButton")) : nullptr;
}

PointerPlainButton *OpenerSection::clearButton(const QString &extension) const
{
    QWidget *row = m_box->findChild<QWidget *>(QStringLiteral("row.") + extension);
    return row ? row->findChild<PointerPlainButton *>(QStringLiteral("clear")) : nullptr;
}
