#include "Kestrowan/editor/IconStyleSection.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorSectionHeader.h"
#include "Kestrowan/editor/IconChoiceButton.h"
#include "Kestrowan/editor/IconStyleChoice.h"
#include "Kestrowan/editor/ScrollCue.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QVBoxLayout>

namespace {

// The row scrolls sideways only, and shows no scroll bar: a horizontal swipe scrolls it, and so
// does the wheel with Shift held, the desktop's way of turning the wheel sideways. The plain wheel
// is left to the page around it. It moves by whole previews (one a notch), so that none stands cut
// at the row's edge with its title half shown.
class SidewaysWheel final : public QObject {
public:
    SidewaysWheel(QScrollArea *area, std::function<int()> pitch)
        : QObject(area), m_area(area), m_pitch(std::move(pitch))
    {
        area->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto *wheel = static_cast<QWheelEvent *>(event);
        QScrollBar *bar = m_area->horizontalScrollBar();
        const bool sideways = wheel->modifiers().testFlag(Qt::ShiftModifier);
        const QPoint pixels = wheel->pixelDelta();
        const QPoint angle = wheel->angleDelta();
        const int pitch = std::max(1, m_pitch());
        int delta = 0;
        if (!pixels.isNull())
            delta = sideways && pixels.x() == 0 ? pixels.y() : pixels.x();
        else
            delta = (sideways && angle.x() == 0 ? angle.y() : angle.x()) * pitch / 120;
        if (delta == 0 || bar->maximum() <= bar->minimum())
            return false;
        // A swipe's small steps add up to a preview's width before the row moves.
        m_pending += delta;
        const int steps = (m_pending + (m_pending > 0 ? pitch / 2 : -pitch / 2)) / pitch;
        if (steps != 0) {
            m_pending -= steps * pitch;
            bar->setValue(bar->value() - steps * pitch);
        }
        wheel->accept();
        return true;
    }

private:
    QScrollArea *m_area;
    std::function<int()> m_pitch;
    int m_pending = 0;
};

} // namespace

IconStyleSection::IconStyleSection(IconStyleChoice *choice, QWidget *parent) : QWidget(parent), m_choice(choice)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(makeEditorSectionHeader(localized(QStringLiteral("editor.iconStyle"))));

    auto *scroll = new QScrollArea;
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto *row = new QWidget;
    row->setAutoFillBackground(false);
    m_row = new QHBoxLayout(row);
    m_row->setContentsMargins(4, 4, 4, 4);
    m_row->setSpacing(10);
    scroll->setWidget(row);
    new SidewaysWheel(scroll, [this] { return pitch(); });
    // Wherever the row is scrolled to (by a cue, a swipe or the keyboard), it comes to rest on a
    // preview's edge.
    connect(scroll->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        QScrollBar *bar = m_scroll->horizontalScrollBar();
        const int step = pitch();
        const int snapped = std::min(bar->maximum(), (value + step / 2) / step * step);
        if (step > 0 && snapped != value && value != bar->maximum())
            bar->setValue(snapped);
    });
    layout->addWidget(scroll);
    m_scroll = scroll;
    // Nothing else would say that a preview cut at the edge has more beyond it.
    m_trailingCue = new ScrollCue(scroll, ScrollCue::Edge::Trailing);
    m_leadingCue = new ScrollCue(scroll, ScrollCue::Edge::Leading);

    rebuildButtons();
    connect(choice, &IconStyleChoice::skinsChanged, this, &IconStyleSection::rebuildButtons);
    connect(choice->draft(), &EditorDraft::draftChanged, this, &IconStyleSection::refreshSelection);
    connect(choice->draft(), &EditorDraft::previewAppsChanged, this, &IconStyleSection::refreshApps);
}

void IconStyleSection::rebuildButtons()
{
    for (IconChoiceButton *button : std::as_const(m_buttons)) {
        button->hide();
        button->deleteLater();
    }
    m_buttons.clear();
    while (QLayoutItem *item = m_row->takeAt(0))
        delete item;
    const QList<AppItem> apps = m_choice->draft()->iconPreviewApps();
    for (AppGroup::IconStyle style : IconStyleChoice::offeredStyles()) {
        auto *button = new IconChoiceButton(apps, style, std::nullopt, nullptr, iconStyleDisplayName(style));
        connect(button, &QAbstractButton::clicked, m_choice, [this, style] { m_choice->selectIconStyle(style); });
        m_buttons.append(button);
    }
    for (const SkinDefinition &skin : m_choice->offeredSkins()) {
        auto *button = new IconChoiceButton(apps, AppGroup::IconStyle::Skin, skin, m_choice->skinManager(), skin.localizedSkinName());
        connect(button, &QAbstractButton::clicked, m_choice, [this, skin] { m_choice->selectSkin(skin); });
        m_buttons.append(button);
    }
    for (IconChoiceButton *button : std::as_const(m_buttons))
        m_row->addWidget(button, 0, Qt::AlignVCenter);
    m_row->addStretch();
    refreshSelection();
    // The row scrolls sideways only: it is always as tall as its previews with their outlines, and
    // never narrower than all of them side by side, so the last one scrolls fully into sight.
    if (QWidget *row = m_row->parentWidget()) {
        row->setMinimumWidth(row->sizeHint().width());
        if (m_scroll)
            m_scroll->setFixedHeight(row->sizeHint().height());
    }
    fitRowToWholePreviews();
}

int IconStyleSection::pitch() const
{
    if (m_buttons.isEmpty())
        return 0;
    // As laid out (a preview is wider than it asks to be once its outline has room).
    if (m_buttons.size() > 1 && m_buttons[1]->x() > m_buttons[0]->x())
        return m_buttons[1]->x() - m_buttons[0]->x();
    const QWidget *first = m_buttons.first();
    return std::max(first->sizeHint().width(), first->minimumSizeHint().width()) + m_row->spacing();
}

void IconStyleSection::fitRowToWholePreviews()
{
    // As many whole previews as the section has room for; the cue says that more lie beyond.
    QWidget *row = m_row->parentWidget();
    const int step = pitch();
    if (!row || !m_scroll || step <= 0)
        return;
    const QMargins margins = m_row->contentsMargins();
    const int edges = margins.left() + margins.right() - m_row->spacing();
    const int whole = std::max(1, (width() - edges) / step);
    m_scroll->setMaximumWidth(row->minimumWidth() <= width() ? QWIDGETSIZE_MAX : edges + whole * step);
}

void IconStyleSection::revealSelected()
{
    // The previews' places are known now: the row fits them whole.
    fitRowToWholePreviews();
    for (IconChoiceButton *button : std::as_const(m_buttons)) {
        if (button->isSelected() && m_scroll)
            m_scroll->ensureWidgetVisible(button, 0, 0);
    }
}

void IconStyleSection::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitRowToWholePreviews();
    // Once the row has its new width.
    QMetaObject::invokeMethod(this, &IconStyleSection::revealSelected, Qt::QueuedConnection);
}

void IconStyleSection::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QMetaObject::invokeMethod(this, &IconStyleSection::revealSelected, Qt::QueuedConnection);
}

void IconStyleSection::refreshSelection()
{
    const QList<AppGroup::IconStyle> styles = IconStyleChoice::offeredStyles();
    const QList<SkinDefinition> skins = m_choice->offeredSkins();
    for (int i = 0; i < m_buttons.size(); ++i) {
        const bool selected = i < styles.size() ? m_choice->isStyleSelected(styles[i])
                                                : m_choice->isSkinSelected(skins.value(i - styles.size()));
        m_buttons[i]->setSelected(selected);
    }
    // The chosen style stays in sight, also when it lies past the row's visible part.
    QMetaObject::invokeMethod(this, &IconStyleSection::revealSelected, Qt::QueuedConnection);
}

void IconStyleSection::refreshApps()
{
    const QList<AppItem> apps = m_choice->draft()->iconPreviewApps();
    for (IconChoiceButton *button : std::as_const(m_buttons))
        button->setApps(apps);
}
