#include "Kestrowan/editor/EditorHeaderRow.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>

namespace {

QFont backFont()
{
    return SystemFont::font(13, QFont::Medium);
}

class BackButton final : public PointerPlainButton {
public:
    explicit BackButton(QWidget *parent) : PointerPlainButton(parent)
    {
        setText(localized(QStringLiteral("groupList.title")));
        setAccessibleName(text());
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(backFont());
        return QSize(qCeil(16 + 9 + 4 + metrics.horizontalAdvance(text())), qMax(30, qCeil(metrics.height() + 12)));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor color = AppColors::text1.resolve(this);
        qreal x = 8;
        if (const std::optional<SymbolImage> symbol = SymbolImage::named(QStringLiteral("chevron.left"))) {
            const SymbolImage image = symbol->configured(13, SymbolImage::Weight::Medium, color);
            const QSizeF size = image.size();
            image.render(painter, QRectF(x, (height() - size.height()) / 2, size.width(), size.height()));
            x += size.width() + 4;
        }
        painter.setFont(backFont());
        painter.setPen(color);
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
};

class DeleteButton final : public PointerPlainButton {
public:
    explicit DeleteButton(QWidget *parent) : PointerPlainButton(parent)
    {
        setAccessibleName(localized(QStringLiteral("ax.deleteGroup")));
        setFixedSize(28, 28);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(ContinuousShape::roundedRect(QRectF(rect()), 10), AppColors::bgHover.resolve(this));
        const QColor color = isEnabled() ? AppColors::danger.resolve(this) : AppColors::text4.resolve(this);
        if (const std::optional<SymbolImage> symbol = SymbolImage::named(QStringLiteral("trash"))) {
            const SymbolImage image = symbol->configured(15, SymbolImage::Weight::Regular, color);
            const QSizeF size = image.size();
            image.render(painter, QRectF(QRectF(rect()).center() - QPointF(size.width() / 2, size.height() / 2), size));
        }
    }
};

} // namespace

EditorHeaderRow::EditorHeaderRow(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    m_back = new BackButton(this);
    m_delete = new DeleteButton(this);
    layout->addWidget(m_back);
    layout->addStretch(1);
    layout->addWidget(m_delete);
    connect(m_back, &QAbstractButton::clicked, this, &EditorHeaderRow::backClicked);
    connect(m_delete, &QAbstractButton::clicked, this, &EditorHeaderRow::deleteClicked);
}
