#include "Kestrowan/shell/ConfirmationAlert.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Wide enough that the program's longest questions take two or three lines, narrow enough to
// stay a question rather than a page.
constexpr int contentWidth = 360;

// The danger colour deepened until white text on it reads clearly in both appearances.
QColor destructiveFill(const QWidget *widget)
{
    return AppColors::danger.resolve(widget).darker(135);
}

// The destructive answer: a flat fill in the deepened danger colour under white text, the same in
// every look and style (a style's gradient would wash the red out).
class DestructiveButton final : public QPushButton {
public:
    DestructiveButton(const QString &title, QWidget *parent) : QPushButton(title, parent) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = destructiveFill(this);
        if (isDown())
            fill = fill.darker(115);
        const QRectF box = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(box, 5, 5);
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(box.adjusted(-0.75, -0.75, 0.75, 0.75), 6, 6);
        }
        painter.setPen(Qt::white);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    }
};

} // namespace

ConfirmationAlert::ConfirmationAlert(const QString &title, const QString &message, const QString &confirmTitle, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);

    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("title"));
    m_title->setFont(SystemFont::font(14, QFont::DemiBold));
    m_title->setWordWrap(true);
    m_title->setTextFormat(Qt::PlainText);
    m_message = new QLabel(message, this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setFont(SystemFont::font(13));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);

    m_cancel = new QPushButton(localized(QStringLiteral("picker.cancel")), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_confirm = new DestructiveButton(confirmTitle, this);
    m_confirm->setObjectName(QStringLiteral("confirm"));
    for (QPushButton *button : {m_cancel, m_confirm}) {
        button->setFont(SystemFont::font(13, QFont::Medium));
        button->setMinimumWidth(88);
        button->setAutoDefault(false);
    }
    m_cancel->setDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        emit confirmed();
        accept();
    });

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);
    layout->addWidget(m_title);
    layout->addWidget(m_message);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_title->setFixedWidth(contentWidth);
    m_message->setFixedWidth(contentWidth);
}
