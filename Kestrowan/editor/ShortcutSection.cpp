#include "Kestrowan/editor/ShortcutSection.h"

#include "Kestrowan/editor/EditorPillButton.h"
#include "Kestrowan/editor/EditorSectionHeader.h"
#include "Kestrowan/editor/ShortcutRecorder.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr qreal kHorizontalPadding = 8;
constexpr qreal kVerticalPadding = 5;
constexpr qreal kRadius = 6;

} // namespace

ShortcutChip::ShortcutChip(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ShortcutChip::display(State state, const QString &text)
{
    m_state = state;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QFont ShortcutChip::currentFont() const
{
    switch (m_state) {
    case State::Recording:
        return SystemFont::font(11, QFont::Medium);
    case State::Shortcut:
        return SystemFont::monospacedFont(11, QFont::DemiBold);
    case State::None:
        return SystemFont::font(11);
    }
    return SystemFont::font(11);
}

QSize ShortcutChip::sizeHint() const
{
    const QFontMetricsF metrics(currentFont());
    return QSize(qCeil(metrics.horizontalAdvance(m_text) + 2 * kHorizontalPadding), qCeil(metrics.height() + 2 * kVerticalPadding));
}

void ShortcutChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = ContinuousShape::roundedRect(bounds, kRadius);
    QColor fill, border, text;
    switch (m_state) {
    case State::Recording:
        fill = AppColors::accent.resolve(this, 0.06);
        border = AppColors::accent.resolve(this);
        text = AppColors::accentInk.resolve(this);
        break;
    case State::Shortcut:
    case State::None:
        fill = AppColors::bgHover.resolve(this);
        border = AppColors::borderCard.resolve(this);
        text = (m_state == State::Shortcut ? AppColors::text1 : AppColors::text3).resolve(this);
        break;
    }
    painter.fillPath(shape, fill);
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);
    painter.setFont(currentFont());
    painter.setPen(text);
    painter.drawText(QRectF(rect()), Qt::AlignCenter, m_text);
}

ShortcutSection::ShortcutSection(ShortcutRecorder *recorder, QWidget *parent) : QWidget(parent), m_recorder(recorder)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(makeEditorSectionHeader(localized(QStringLiteral("editor.shortcut"))));
    row->addStretch();
    m_chip = new ShortcutChip;
    m_record = new EditorPillButton(QString(), AppColors::text2);
    // An enabled control in the secondary text colour, not the faint one that reads as disabled.
    m_reset = new EditorPillButton(localized(QStringLiteral("editor.shortcut.reset")), AppColors::text2);
    row->addWidget(m_chip);
    row->addWidget(m_record);
    row->addWidget(m_reset);
    layout->addLayout(row);

    const QFont lineFont = SystemFont::font(11);
    m_conflict = new TokenLabel(localized(QStringLiteral("editor.shortcut.conflict")), AppColors::warning, lineFont);
    m_needsModifier = new TokenLabel(localized(QStringLiteral("editor.shortcut.needsModifier")), AppColors::warning, lineFont);
    m_saveFirst = new TokenLabel(localized(QStringLiteral("editor.shortcut.saveFirst")), AppColors::text3, lineFont);
    for (TokenLabel *line : {m_conflict, m_needsModifier, m_saveFirst}) {
        line->setWordWrap(true);
        layout->addWidget(line);
    }

    connect(m_record, &QAbstractButton::clicked, recorder, &ShortcutRecorder::toggleRecording);
    connect(m_reset, &QAbstractButton::clicked, recorder, &ShortcutRecorder::resetToDefault);
    connect(recorder, &ShortcutRecorder::stateChanged, this, &ShortcutSection::refresh);
    refresh();
}

void ShortcutSection::refresh()
{
    if (!m_recorder)
        return;
    if (m_recorder->isRecording()) {
        m_chip->display(ShortcutChip::State::Recording, localized(QStringLiteral("editor.shortcut.recording")));
    } else if (const std::optional<GroupShortcut> shortcut = m_recorder->currentShortcut()) {
        m_chip->display(ShortcutChip::State::Shortcut, shortcut->displayString());
    } else {
        m_chip->display(ShortcutChip::State::None, QString(QChar(0x2014)));
    }
    // Asked again on every change of the draft and of the groups: the column is laid out again
    // only when the button's text changed.
    const QString recordText =
        localized(m_recorder->isRecording() ? QStringLiteral("picker.cancel") : QStringLiteral("editor.shortcut.record"));
    if (m_record->text() != recordText) {
        m_record->setText(recordText);
        m_record->updateGeometry();
    }
    const bool stored = m_recorder->canRecord();
    m_record->setEnabled(stored || m_recorder->isRecording());
    m_reset->setEnabled(stored);
    const bool conflictBefore = m_conflict->isVisibleTo(this), modifierBefore = m_needsModifier->isVisibleTo(this);
    m_conflict->setVisible(m_recorder->hasConflict());
    m_needsModifier->setVisible(m_recorder->needsModifier() && !m_recorder->hasConflict());
    m_saveFirst->setVisible(!stored);
    if (m_conflict->isVisibleTo(this) && !conflictBefore)
        emit lineShown(m_conflict);
    if (m_needsModifier->isVisibleTo(this) && !modifierBefore)
        emit lineShown(m_needsModifier);
}

void ShortcutSection::hideEvent(QHideEvent *event)
{
    // Leaving the page ends a recording, so later key presses elsewhere are not taken.
    if (m_recorder)
        m_recorder->cancelRecording();
    QWidget::hideEvent(event);
}
