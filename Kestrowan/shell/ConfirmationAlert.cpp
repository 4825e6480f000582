#include "Kestrowan/shell/ConfirmationAlert.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "NVLXDesign/SystemFont.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/RaisedPanel.h"
#include "NVLXDesign/SoftShadow.h"
#include "Platform/FloatingPanel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// Wide enough that the program's longest questions take two or three lines, narrow enough to
// stay a question rather than a page.
constexpr int contentWidth = 360;

// The destructive answer: the kit's primary button filled in the danger colour, deepened until
// white text on it reads clearly in both appearances, without the accent's glow.
void makeDestructive(NVLXButton *button)
{
    button->setLookAdjuster([](NVLXButtonLook &look, EffectiveAppearance appearance) {
        const QColor danger = DS::danger.resolve(appearance).darker(135);
        look.fill = look.opacity < 1.0 ? danger.darker(115) : danger;
        look.textColor = QColor(Qt::white);
        look.shadow.reset();
    });
    button->setGraphicsEffect(nullptr);
}

} // namespace

QString ConfirmationAlert::deleteGroupTitle(const QString &groupName)
{
    const QString name = groupName.isEmpty() ? localized(QStringLiteral("onboarding.group.untitled")) : groupName;
    return localizedFormat(QStringLiteral("groupList.deleteNamed"), {name});
}

ConfirmationAlert::ConfirmationAlert(const QString &title, const QString &message, const QString &confirmTitle, QWidget *parent,
                                     ReturnGives returnGives)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
    , m_returnGives(returnGives)
{
    setWindowTitle(title);
    // Rounded and shadowed where the window system composes; cut to the panel where it does not
    // (a bare X server would show the clear corners and the shadow's room black).
    QPointer<ConfirmationAlert> self(this);
    FloatingPanel::useTranslucencyOrShape(this, [self](const QSize &) {
        return self ? ContinuousShape::roundedRect(self->panelRect(), cornerRadius) : QPainterPath();
    });
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    // The answer Return gives shows its ring before any key is pressed.
    setProperty(KeyboardFocusRing::showsEveryFocusProperty, true);

    // A switch of the look reaches an open question whole and at once: its words take the new
    // palette together with the panel, not a moment after it.
    connect(&Appearance::shared(), &Appearance::changed, this, [this] {
        setPalette(QApplication::palette());
        update();
    });

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

    // The kit's buttons: the secondary one for Cancel (the Escape answer), the destructive one
    // beside it. Neither is the platform's stock push button.
    m_cancel = new NVLXButton(NVLXButtonStyle::Secondary, localized(QStringLiteral("picker.cancel")), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_confirm = new NVLXButton(NVLXButtonStyle::Primary, confirmTitle, this);
    m_confirm->setObjectName(QStringLiteral("confirm"));
    makeDestructive(m_confirm);
    for (NVLXButton *button : {m_cancel, m_confirm}) {
        button->setMinimumWidth(88);
        button->setFocusPolicy(Qt::TabFocus);
    }
    // The answer Return gives holds the keyboard from the start, so its focus ring says so.
    (m_returnGives == ReturnGives::Cancel ? m_cancel : m_confirm)->setFocus();
    connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QAbstractButton::clicked, this, [this] {
        emit confirmed();
        accept();
    });

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(shadowMargin + 20, shadowMargin + 18, shadowMargin + 20, shadowMargin + 16);
    layout->setSpacing(6);
    layout->addWidget(m_title);
    layout->addWidget(m_message);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_title->setFixedWidth(contentWidth);
    m_message->setFixedWidth(contentWidth);
}

QRectF ConfirmationAlert::panelRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

void ConfirmationAlert::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A window of its own takes the application's look, as every window does, read from the
    // application itself: its own palette catches up with a switch only once the switch's events
    // have gone round, and a repaint before that would show the old look.
    const EffectiveAppearance appearance = effectiveAppearance(QApplication::palette());
    const QRectF panel = panelRect();
    paintRaisedPanel(painter, rect(), panel, cornerRadius, appearance);
    // The shadow goes under the panel already drawn.
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    paintSoftShadow(painter, panel, cornerRadius, AppColors::shadowLg.resolve(appearance), 16, QPointF(0, 8));
}

void ConfirmationAlert::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        update();
}

void ConfirmationAlert::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        // Return gives the answer that has the keyboard, else the one the question starts on.
        NVLXButton *answer = m_returnGives == ReturnGives::Cancel ? m_cancel : m_confirm;
        if (focusWidget() == m_cancel || focusWidget() == m_confirm)
            answer = static_cast<NVLXButton *>(focusWidget());
        answer->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
