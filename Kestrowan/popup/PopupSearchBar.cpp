#include "Kestrowan/popup/PopupSearchBar.h"

#include "Kestrowan/popup/PopupContentModel.h"
#include "Kestrowan/popup/PopupPlainButton.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPainter>

namespace {

constexpr qreal outerSide = 14;
constexpr qreal outerBottom = 7;
constexpr qreal innerSide = 12;
constexpr qreal innerVertical = 7;
constexpr qreal symbolPoints = 13;
constexpr qreal spacing = 7;

QFont textFont() { return PopupStyle::font(13); }

class ClearButton : public PopupPlainButton {
public:
    explicit ClearButton(QWidget *parent)
        : PopupPlainButton(parent)
    {
        const QSizeF size = PopupStyle::symbolSize(QStringLiteral("xmark.circle.fill"), symbolPoints);
        setFixedSize(qCeil(size.width()) + 4, qCeil(size.height()) + 4);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        beginPainting(painter);
        PopupStyle::drawSymbol(painter, QStringLiteral("xmark.circle.fill"), symbolPoints, PopupStyle::SymbolWeight::Regular,
                               PopupStyle::tertiaryStyle(this), QRectF(rect()));
    }
};

} // namespace

PopupSearchBar::PopupSearchBar(PopupContentModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_clear(new ClearButton(this))
{
    setCursor(Qt::IBeamCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(sizeHint().height());
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_model.clearSearch(); });
    connect(&m_model, &PopupContentModel::searchChanged, this, [this] {
        m_clear->setVisible(!m_model.searchText().isEmpty());
        update();
    });
    m_clear->setVisible(false);
    // The placeholder is looked up as it is drawn: a change of language only needs a repaint.
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, qOverload<>(&QWidget::update));
}

QSize PopupSearchBar::sizeHint() const
{
    const qreal line = std::max(QFontMetricsF(textFont()).height(), PopupStyle::symbolSize(QStringLiteral("magnifyingglass"), symbolPoints).height());
    return QSize(300, qCeil(line + 2 * innerVertical + outerBottom));
}

QString PopupSearchBar::shownText() const
{
    if (!m_model.searchText().isEmpty())
        return m_model.searchText();
    return localized(m_model.isSearchActive() ? QStringLiteral("popup.search.typing")
                                              : QStringLiteral("popup.search.placeholder"));
}

void PopupSearchBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeClearButton();
}

void PopupSearchBar::placeClearButton()
{
    const qreal boxHeight = height() - outerBottom;
    m_clear->move(qRound(width() - outerSide - innerSide - m_clear->width() + 2),
                  qRound((boxHeight - m_clear->height()) / 2));
}

void PopupSearchBar::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    m_model.activateSearch();
}

void PopupSearchBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(outerSide, 0, width() - 2 * outerSide, height() - outerBottom);
    const bool active = m_model.isSearchActive();
    const bool typed = !m_model.searchText().isEmpty();
    if (active) {
        QColor stroke = PopupStyle::accent(this);
        stroke.setAlphaF(0.4f);
        painter.setPen(QPen(stroke, 1));
    } else {
        painter.setPen(Qt::NoPen);
    }
    painter.setBrush(PopupStyle::surfaceTint(this));
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);

    QColor glass = PopupStyle::accent(this);
    if (!typed && active)
        glass.setAlphaF(0.6f);
    else if (!typed)
        glass = PopupStyle::tertiaryStyle(this);
    const QSizeF symbol = PopupStyle::symbolSize(QStringLiteral("magnifyingglass"), symbolPoints);
    const QRectF symbolRect(box.left() + innerSide, box.top(), symbol.width(), box.height());
    PopupStyle::drawSymbol(painter, QStringLiteral("magnifyingglass"), symbolPoints, PopupStyle::SymbolWeight::Regular,
                           glass, symbolRect);

    const qreal textLeft = symbolRect.right() + spacing;
    const qreal textRight = typed ? m_clear->x() - spacing : box.right() - innerSide;
    painter.setFont(textFont());
    painter.setPen(typed ? PopupStyle::textPrimary(this)
                   : active ? PopupStyle::textSecondary(this)
                            : PopupStyle::tertiaryStyle(this));
    const QRectF textRect(textLeft, box.top(), std::max<qreal>(0, textRight - textLeft), box.height());
    // The end of a long search stays in view: that is where the typing goes on.
    const QString text = QFontMetricsF(textFont()).elidedText(shownText(), typed ? Qt::ElideLeft : Qt::ElideRight,
                                                              textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
}
