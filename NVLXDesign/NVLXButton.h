#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QAbstractButton>
#include <QFont>
#include <QIcon>
#include <functional>
#include <optional>

class PointerCursorCount;
class PointerCursorModifier;
class QGraphicsOpacityEffect;

// The kit's four button styles.
enum class NVLXButtonStyle { Primary, Secondary, Ghost, Plain };

// What a style draws for a pressed or released button in one appearance. Lengths in points.
struct NVLXButtonLook {
    struct Shadow {
        QColor color;
        qreal radius = 0;
        QPointF offset;
    };

    // Nothing: the label's own font and colour (the plain style).
    std::optional<QFont> font;
    std::optional<QColor> textColor;
    qreal horizontalInset = 0;
    qreal verticalInset = 0;
    qreal cornerRadius = 0;
    QColor fill = Qt::transparent;
    std::optional<QColor> stroke; // one point wide, along the background's outline
    std::optional<Shadow> shadow;
    qreal opacity = 1.0;

    static NVLXButtonLook of(NVLXButtonStyle style, bool pressed, EffectiveAppearance appearance);
};

// A push button of the kit: an optional symbol and a text, drawn in one of the styles, with the
// kit's pointing hand on hover.
class NVLXButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit NVLXButton(NVLXButtonStyle style, const QString &text = QString(), QWidget *parent = nullptr);

    NVLXButtonStyle buttonStyle() const { return m_style; }
    void setButtonStyle(NVLXButtonStyle style);
    // Changes the style's look before it is drawn (a destructive answer fills the primary shape
    // in the danger colour); the change is asked again in every appearance.
    using LookAdjuster = std::function<void(NVLXButtonLook &look, EffectiveAppearance appearance)>;
    void setLookAdjuster(LookAdjuster adjuster);
    // The look the button has now (pressed or not, in its appearance).
    NVLXButtonLook currentLook() const;
    PointerCursorModifier *pointerCursorModifier() const { return m_pointer; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateShadow();

    NVLXButtonStyle m_style;
    PointerCursorModifier *m_pointer;
    LookAdjuster m_adjuster;
};

// A button around content of its own (a row, a card, a cell): the content at full opacity, at
// `pressedOpacity` while pressed, with a pointing hand counted in `cursorCount`. The content never
// takes the mouse itself, so pressing anywhere on it presses the button. Subclasses may also paint.
class PlainContentButton : public QAbstractButton {
    Q_OBJECT
public:
    PlainContentButton(PointerCursorCount &cursorCount, QWidget *parent = nullptr);

    // Lays `content` out to fill the button (the button takes it over).
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    PointerCursorModifier *pointerCursorModifier() const { return m_pointer; }
    // The opacity the button is drawn at now.
    qreal currentOpacity() const;

    static constexpr qreal pressedOpacity = 0.85;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_content = nullptr;
    PointerCursorModifier *m_pointer;
    QGraphicsOpacityEffect *m_opacity;
};

// The kit's plain button style for content of any kind.
class NVLXPlainButton : public PlainContentButton {
    Q_OBJECT
public:
    explicit NVLXPlainButton(QWidget *parent = nullptr);
};
