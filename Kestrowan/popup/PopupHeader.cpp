#include "Kestrowan/popup/PopupHeader.h"

#include "Kestrowan/popup/PopupContentModel.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupPlainButton.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/popup/PopupTopIconButton.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LookStyleSheet.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Platform/VirtualKeys.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace {

// "slider.horizontal.3" and "⌘," side by side, in the secondary style.
class EditButton : public PopupPlainButton {
public:
    explicit EditButton(QWidget *parent)
        : PopupPlainButton(parent)
    {
        setFixedSize(sizeHint());
    }
    QSize sizeHint() const override
    {
        const QSizeF symbol = PopupStyle::symbolSize(symbolName(), 12);
        const qreal text = QFontMetricsF(textFont()).horizontalAdvance(keys());
        const qreal height = std::max(symbol.height(), QFontMetricsF(textFont()).height());
        return QSize(qCeil(symbol.width() + 4 + text + 18), qCeil(height + 10));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        beginPainting(painter);
        const QColor color = PopupStyle::secondaryStyle(this);
        const QSizeF symbol = PopupStyle::symbolSize(symbolName(), 12);
        PopupStyle::drawSymbol(painter, symbolName(), 12, PopupStyle::SymbolWeight::Semibold, color,
                               QRectF(9, 0, symbol.width(), height()));
        painter.setFont(textFont());
        painter.setPen(color);
        painter.drawText(QRectF(9 + symbol.width() + 4, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, keys());
    }

private:
    static QString symbolName() { return QStringLiteral("slider.horizontal.3"); }
    static QString keys() { return KeyNotation::text(VirtualKeys::commandFlag, QStringLiteral(",")); }
    static QFont textFont() { return PopupStyle::font(11, QFont::DemiBold, true); }
};

} // namespace

PopupHeader::PopupHeader(PopupContentModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_title(new TokenLabel(QString(), AppColors::text1, PopupStyle::font(15, QFont::DemiBold), this))
    , m_edit(new EditButton(this))
    , m_close(new PopupTopIconButton(QStringLiteral("xmark"), 13, QFont::Bold, this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 13, 16, 10);
    row->setSpacing(8);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_title->installEventFilter(this);
    row->addWidget(m_title, 1);
    row->addWidget(m_edit);
    row->addWidget(m_close);
    // A popup left open while the language changes speaks the new one.
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, &PopupHeader::updateTexts);

    connect(m_edit, &QAbstractButton::clicked, this, [this] { m_model.edit(); });
    connect(m_close, &QAbstractButton::clicked, this, [this] { m_model.dismiss(); });
    m_editingEnded = connect(&PopupNotifications::center(), &PopupNotifications::popupTextFieldEditingEnded, this,
                             [this] { m_model.commitRename(); });
    connect(&m_model, &PopupContentModel::nameChanged, this, &PopupHeader::updateFromModel);
    updateTexts();
}

void PopupHeader::updateTexts()
{
    m_edit->setAccessibleName(localized(QStringLiteral("ax.editGroup")));
    m_close->setAccessibleName(localized(QStringLiteral("ax.closePopup")));
    updateFromModel();
}

QLineEdit *PopupHeader::makeRenameField()
{
    auto *field = new QLineEdit(this);
    field->setFont(PopupStyle::font(15, QFont::DemiBold));
    field->setFrame(false);
    field->setTextMargins(8, 4, 8, 4);
    field->setVisible(false);
    // The colours live in the sheet alone and are made again when the look changes: a palette set
    // beside a sheet would keep the old text colour after a switch between light and dark.
    setLookStyleSheet(field, this, [this] {
        const QColor accent = PopupStyle::accent(this);
        return QStringLiteral("QLineEdit { color: %1; border: 1px solid %2; border-radius: 6px; background: %3; }")
            .arg(PopupStyle::textPrimary(this).name(QColor::HexArgb),
                 QColor(accent.red(), accent.green(), accent.blue(), 128).name(QColor::HexArgb),
                 PopupStyle::surfaceTint(this).name(QColor::HexArgb));
    });
    // In the title's place, before the buttons.
    static_cast<QHBoxLayout *>(layout())->insertWidget(1, field, 1);
    setTabOrder(field, m_edit);
    connect(field, &QLineEdit::textEdited, this, [this](const QString &text) { m_model.setEditingName(text); });
    connect(field, &QLineEdit::returnPressed, this, [this] { m_model.commitRename(); });
    return field;
}

void PopupHeader::stopListening()
{
    disconnect(m_editingEnded);
}

void PopupHeader::updateTitleText()
{
    const QString &name = m_model.displayName();
    m_title->setText(QFontMetricsF(m_title->font()).elidedText(name, Qt::ElideRight, std::max(0, m_title->width())));
    m_title->setAccessibleName(PopupStyle::formatted(QStringLiteral("ax.popupHeader"), name));
}

void PopupHeader::updateFromModel()
{
    const bool editing = m_model.isEditingName();
    if (editing && !m_field)
        m_field = makeRenameField();
    if (editing && !m_field->isVisible()) {
        m_field->setText(m_model.editingName());
        m_title->setVisible(false);
        m_field->setVisible(true);
        m_field->setFocus(Qt::OtherFocusReason);
        m_field->selectAll();
        PopupNotifications::center().postTextFieldEditingStarted();
    } else if (!editing) {
        if (m_field)
            m_field->setVisible(false);
        m_title->setVisible(true);
    }
    updateTitleText();
}

bool PopupHeader::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_title) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_model.beginRename();
            return true;
        }
        if (event->type() == QEvent::Resize)
            updateTitleText();
    }
    return QWidget::eventFilter(watched, event);
}
