#include "Kestrowan/popup/PopupEmptyState.h"

#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// A token label, so an open popup's texts follow a switch between light and dark.
QLabel *textLabel(const QString &text, const QFont &font, const DynamicColor &color, QWidget *parent)
{
    auto *label = new TokenLabel(text, color, font, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

class SymbolView : public QWidget {
public:
    SymbolView(const QString &name, qreal points, QWidget *parent)
        : QWidget(parent), m_name(name), m_points(points)
    {
        setFixedSize(PopupStyle::symbolSize(name, points).toSize() + QSize(2, 2));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        PopupStyle::drawSymbol(painter, m_name, m_points, PopupStyle::SymbolWeight::Semibold,
                               PopupStyle::secondaryStyle(this), QRectF(rect()));
    }

private:
    QString m_name;
    qreal m_points;
};

} // namespace

PopupEmptyState::PopupEmptyState(Kind kind, qreal textScale, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
{
    // Centred in the room the popup gives it; the texts take the full width before they wrap.
    auto *column = new QVBoxLayout(this);
    column->addStretch(1);
    if (kind == Kind::NoResults) {
        column->setContentsMargins(0, 20, 0, 20);
        column->addWidget(textLabel(localized(QStringLiteral("popup.search.noResults")), PopupStyle::font(12),
                                    PopupStyle::secondaryStyleColor, this));
        column->addStretch(1);
        return;
    }
    column->setContentsMargins(12, 20, 12, 20);
    column->setSpacing(6);
    column->addWidget(new SymbolView(QStringLiteral("shippingbox"), 20 * textScale, this), 0, Qt::AlignHCenter);
    column->addWidget(textLabel(localized(QStringLiteral("popup.empty.title")), PopupStyle::font(13 * textScale, QFont::DemiBold),
                                AppColors::text1, this));
    column->addWidget(textLabel(localized(QStringLiteral("popup.empty.description")), PopupStyle::font(11 * textScale),
                                PopupStyle::secondaryStyleColor, this));
    column->addStretch(1);
}
