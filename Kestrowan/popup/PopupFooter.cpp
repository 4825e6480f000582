#include "Kestrowan/popup/PopupFooter.h"

#include "Kestrowan/popup/PopupContentModel.h"
#include "Kestrowan/popup/PopupPlainButton.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Platform/VirtualKeys.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// "play.fill", the title and its key, all in the accent colour.
class LaunchAllButton : public PopupPlainButton {
public:
    explicit LaunchAllButton(QWidget *parent)
        : PopupPlainButton(parent)
    {
        setText(localized(QStringLiteral("popup.launchAll")));
        setAccessibleName(text());
        setAccessibleDescription(localized(QStringLiteral("popup.launchAll.hint")));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFixedSize(sizeHint());
    }
    QSize sizeHint() const override
    {
        const qreal symbol = PopupStyle::symbolSize(symbolName(), 10).width();
        const qreal title = QFontMetricsF(titleFont()).horizontalAdvance(text());
        const qreal keys = QFontMetricsF(keysFont()).horizontalAdvance(keysText());
        return QSize(qCeil(symbol + title + keys + 8 + 20), qCeil(QFontMetricsF(titleFont()).height() + 10));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        beginPainting(painter);
        // The accent's text shade, its keys as deep as its title: the bright accent, and the keys
        // faded from it, read at 2.6:1 and less on the light panel and look like a disabled button.
        const QColor accent = PopupStyle::accentInk(this);
        qreal x = 10;
        const qreal symbol = PopupStyle::symbolSize(symbolName(), 10).width();
        PopupStyle::drawSymbol(painter, symbolName(), 10, PopupStyle::SymbolWeight::Regular, accent,
                               QRectF(x, 0, symbol, height()));
        x += symbol + 4;
        painter.setFont(titleFont());
        painter.setPen(accent);
        const qreal title = QFontMetricsF(titleFont()).horizontalAdvance(text());
        painter.drawText(QRectF(x, 0, title + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
        x += title + 4;
        painter.setFont(keysFont());
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, keysText());
    }

private:
    static QString symbolName() { return QStringLiteral("play.fill"); }
    static QString keysText() { return KeyNotation::text(VirtualKeys::commandFlag, QStringLiteral("A")); }
    static QFont titleFont() { return PopupStyle::font(12, QFont::Medium); }
    static QFont keysFont() { return PopupStyle::font(10, QFont::DemiBold, true); }
};

// A key cap and its label.
class KeyHint : public QWidget {
public:
    KeyHint(const QString &keys, const QString &label, QWidget *parent)
        : QWidget(parent), m_keys(keys), m_label(label)
    {
        setAccessibleName(label);
        setFixedSize(sizeHint());
    }
    QSize sizeHint() const override
    {
        const QFontMetricsF keys(keysFont());
        const QFontMetricsF label(labelFont());
        return QSize(qCeil(keys.horizontalAdvance(m_keys) + 10 + 4 + label.horizontalAdvance(m_label)),
                     qCeil(std::max(keys.height() + 4, label.height())));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QFontMetricsF keys(keysFont());
        const QRectF cap(0, (height() - keys.height() - 4) / 2, keys.horizontalAdvance(m_keys) + 10, keys.height() + 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(PopupStyle::quaternaryFill(this));
        painter.drawRoundedRect(cap, 4, 4);
        painter.setFont(keysFont());
        painter.setPen(PopupStyle::secondaryStyle(this));
        painter.drawText(cap, Qt::AlignCenter, m_keys);
        painter.setFont(labelFont());
        painter.setPen(PopupStyle::tertiaryStyle(this));
        painter.drawText(QRectF(cap.right() + 4, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, m_label);
    }

private:
    static QFont keysFont() { return PopupStyle::font(10, QFont::DemiBold); }
    static QFont labelFont() { return PopupStyle::font(10); }
    QString m_keys;
    QString m_label;
};

} // namespace

namespace {

// The shortcut with its characters held together: it is read as one key, never split over lines.
QString heldTogether(const QString &keys)
{
    QString held;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0 && !keys.at(i).isLowSurrogate())
            held.append(LineBreaking::wordJoiner);
        held.append(keys.at(i));
    }
    return held;
}

} // namespace

PopupFooter::PopupFooter(PopupContentModel &model, QWidget *parent)
    : QWidget(parent)
    , m_launchAll(new LaunchAllButton(this))
    , m_navigationKeys(model.group().displayStyle == AppGroup::DisplayStyle::Grid ? QStringLiteral("←→↑↓")
                                                                                   : QStringLiteral("↑↓"))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 8, 16, 8);
    column->setSpacing(6);
    m_row = new QHBoxLayout;
    column->addLayout(m_row);
    // The gaps are the spacers' own: at least 10 points each, so the summon text keeps its room
    // beside the keys written out in full.
    m_row->setSpacing(0);
    m_row->addWidget(m_launchAll);
    m_row->addSpacing(10);
    m_row->addStretch(1);
    if (const std::optional<QString> &shortcut = model.openShortcutDisplay()) {
        // The hint says which key opens the group: it is never cut. Between the two button groups
        // it takes what room is left and wraps there; where even the key alone has no room, it
        // takes a line of its own under the buttons.
        auto *hint = new TokenLabel(PopupStyle::formatted(QStringLiteral("popup.keyboardShortcut.summon"), heldTogether(*shortcut)),
                                    AppColors::text3, PopupStyle::font(10), this);
        m_shortcut = hint;
        m_shortcut->setTextFormat(Qt::PlainText);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        m_shortcut->setSizePolicy(policy);
        m_shortcut->setWordWrap(true);
        m_shortcut->setAlignment(Qt::AlignCenter);
        const QFontMetricsF metrics(m_shortcut->font());
        qreal widest = 0;
        for (const QString &piece : LineBreaking::wrappedLines(m_shortcut->font(), m_shortcut->text(), 1))
            widest = std::max(widest, metrics.horizontalAdvance(piece));
        m_hintMinimum = qCeil(widest) + 2;
        m_shortcut->setMinimumWidth(m_hintMinimum);
        m_row->addWidget(m_shortcut, 4);
    }
    m_row->addSpacing(10);
    m_row->addStretch(1);
    auto *hints = new QHBoxLayout;
    hints->setSpacing(6);
    hints->addWidget(new KeyHint(m_navigationKeys, localized(QStringLiteral("popup.hint.navigate")), this));
    hints->addWidget(new KeyHint(QStringLiteral("↵"), localized(QStringLiteral("popup.hint.open")), this));
    m_row->addLayout(hints);
    m_keyHints = hints;
    connect(m_launchAll, &QAbstractButton::clicked, this, [&model] { model.launchAllAndDismiss(); });
}

void PopupFooter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_shortcut)
        return;
    const QMargins margins = layout()->contentsMargins();
    const int besideButtons = width() - margins.left() - margins.right() - m_launchAll->sizeHint().width() - 20
                              - m_keyHints->sizeHint().width();
    const bool ownLine = besideButtons < m_hintMinimum;
    if (ownLine == m_hintOnOwnLine)
        return;
    m_hintOnOwnLine = ownLine;
    auto *column = static_cast<QVBoxLayout *>(layout());
    if (ownLine) {
        m_row->removeWidget(m_shortcut);
        column->addWidget(m_shortcut);
    } else {
        column->removeWidget(m_shortcut);
        m_row->insertWidget(3, m_shortcut, 4);
    }
}

QString PopupFooter::navigationKeys() const
{
    return m_navigationKeys;
}
