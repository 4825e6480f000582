#include "Kestrowan/mainwindow/AppPickerList.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/SlimScrollBar.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/SystemFont.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int iconSide = 32;
constexpr int rowPadding = 8;

} // namespace

AppPickerList::AppPickerList(std::function<bool(const QString &)> isSelected, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_isSelected(std::move(isSelected))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSlimScrollBar(verticalScrollBar());
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(rowHeight / 2);
    applyPointerCursor(viewport());
    // Icons are decoded out of the program; a row shows the generic symbol until its own is in.
    ApplicationIcon::followArrivals(this, [this] {
        if (m_pendingIcons.isEmpty())
            return;
        for (const QString &key : std::as_const(m_pendingIcons))
            m_icons.remove(key);
        m_pendingIcons.clear();
        viewport()->update();
    });
    m_spinner.setInterval(80);
    connect(&m_spinner, &QTimer::timeout, this, [this] {
        m_spinnerStep = (m_spinnerStep + 1) % 12;
        viewport()->update();
    });
}

void AppPickerList::setRows(const QList<AppItem> &rows)
{
    m_rows = rows;
    if (m_currentRow >= m_rows.size())
        m_currentRow = m_rows.isEmpty() ? -1 : int(m_rows.size()) - 1;
    updateScrollRange();
    viewport()->update();
}

void AppPickerList::setScanning(bool scanning)
{
    m_scanning = scanning;
    if (scanning)
        m_spinner.start();
    else
        m_spinner.stop();
    updateScrollRange();
    viewport()->update();
}

QRect AppPickerList::rowRect(int index) const
{
    return QRect(horizontalInset, verticalInset + index * (rowHeight + rowSpacing) - verticalScrollBar()->value(),
                 viewport()->width() - 2 * horizontalInset, rowHeight);
}

int AppPickerList::rowAt(const QPoint &point) const
{
    if (m_scanning || m_rows.isEmpty())
        return -1;
    const int y = point.y() + verticalScrollBar()->value() - verticalInset;
    if (y < 0 || point.x() < horizontalInset || point.x() >= viewport()->width() - horizontalInset)
        return -1;
    const int index = y / (rowHeight + rowSpacing);
    if (index >= m_rows.size() || y % (rowHeight + rowSpacing) >= rowHeight)
        return -1;
    return index;
}

void AppPickerList::updateScrollRange()
{
    const int rows = m_scanning ? 0 : int(m_rows.size());
    const int content = rows == 0 ? 0 : 2 * verticalInset + rows * rowHeight + (rows - 1) * rowSpacing;
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
}

void AppPickerList::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void AppPickerList::mousePressEvent(QMouseEvent *event)
{
    m_pressedRow = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : -1;
    // The row under the pointer is the one the keys go on from; it is in view already.
    if (m_pressedRow >= 0)
        m_currentRow = m_pressedRow;
    viewport()->update();
}

void AppPickerList::mouseReleaseEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint());
    const bool click = row >= 0 && row == m_pressedRow && event->button() == Qt::LeftButton;
    m_pressedRow = -1;
    viewport()->update();
    if (click)
        emit rowToggled(m_rows.at(row));
}

void AppPickerList::setCurrentRow(int index)
{
    if (m_scanning || m_rows.isEmpty()) {
        m_currentRow = -1;
        return;
    }
    m_currentRow = std::clamp(index, 0, int(m_rows.size()) - 1);
    // Keep the row in view: scroll just far enough, with the list's own inset around it.
    const QRect row = rowRect(m_currentRow);
    QScrollBar *bar = verticalScrollBar();
    if (row.top() < verticalInset)
        bar->setValue(bar->value() + row.top() - verticalInset);
    else if (row.y() + row.height() > viewport()->height() - verticalInset)
        bar->setValue(bar->value() + row.y() + row.height() - viewport()->height() + verticalInset);
    viewport()->update();
}

void AppPickerList::keyPressEvent(QKeyEvent *event)
{
    const bool hasRows = !m_scanning && !m_rows.isEmpty();
    const int page = std::max(1, viewport()->height() / (rowHeight + rowSpacing));
    switch (event->key()) {
    case Qt::Key_Down:
        if (hasRows)
            setCurrentRow(m_currentRow + 1);
        return;
    case Qt::Key_Up:
        if (hasRows)
            setCurrentRow(std::max(0, m_currentRow - 1));
        return;
    case Qt::Key_PageDown:
        if (hasRows)
            setCurrentRow(std::max(0, m_currentRow) + page);
        return;
    case Qt::Key_PageUp:
        if (hasRows)
            setCurrentRow(m_currentRow - page);
        return;
    case Qt::Key_Home:
        if (hasRows)
            setCurrentRow(0);
        return;
    case Qt::Key_End:
        if (hasRows)
            setCurrentRow(int(m_rows.size()) - 1);
        return;
    case Qt::Key_Space:
        if (hasRows && m_currentRow >= 0 && event->modifiers() == Qt::NoModifier) {
            emit rowToggled(m_rows.at(m_currentRow));
            return;
        }
        break;
    case Qt::Key_Backspace:
        emit typedForSearch(event);
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        emit typedForSearch(event);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void AppPickerList::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    // A click gives the keyboard with the press: the press names the row, and the list must not
    // move under the pointer before the release decides what was clicked. From the keyboard the
    // ring starts on the first row in view.
    if (m_currentRow < 0 && event->reason() != Qt::MouseFocusReason && !m_scanning && !m_rows.isEmpty()) {
        const int firstInView = std::max(0, (verticalScrollBar()->value() + rowHeight / 2) / (rowHeight + rowSpacing));
        m_currentRow = std::min(firstInView, int(m_rows.size()) - 1);
    }
    viewport()->update();
}

void AppPickerList::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

QPixmap AppPickerList::icon(const AppItem &entry)
{
    const QString key = entry.bundleIdentifier + u'\n' + entry.path;
    auto found = m_icons.constFind(key);
    if (found != m_icons.cend())
        return *found;
    const qreal scale = devicePixelRatioF();
    const ApplicationIcon::Picture drawn = ApplicationIcon::of(entry, qRound(iconSide * scale));
    QPixmap pixmap = QPixmap::fromImage(drawn.image);
    pixmap.setDevicePixelRatio(pixmap.isNull() ? scale : std::max(pixmap.width(), pixmap.height()) / qreal(iconSide));
    if (drawn.pending)
        m_pendingIcons.insert(key);
    return m_icons.insert(key, pixmap).value();
}

void AppPickerList::paintMessage(QPainter &painter, const QString &text, bool spinner)
{
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const QFont font = SystemFont::font(13);
    const QFontMetricsF metrics(font);
    qreal x = 14;
    const qreal lineTop = verticalInset + 8;
    if (spinner) {
        const qreal side = 14;
        const QPointF centre(x + side / 2, lineTop + metrics.height() / 2);
        for (int i = 0; i < 12; ++i) {
            QColor color = AppColors::text2.resolve(appearance);
            color.setAlphaF(float(0.15 + 0.85 * (((i - m_spinnerStep + 12) % 12) / 11.0)));
            painter.save();
            painter.translate(centre);
            painter.rotate(i * 30.0);
            painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -side / 2 + 1), QPointF(0, -side / 4));
            painter.restore();
        }
        x += side + 8;
    }
    painter.setFont(font);
    painter.setPen(AppColors::text2.resolve(appearance));
    painter.drawText(QRectF(x, lineTop, viewport()->width() - x - 14, metrics.height() + 2), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(text, Qt::ElideRight, viewport()->width() - x - 14));
}

void AppPickerList::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_scanning)
        return paintMessage(painter, localized(QStringLiteral("picker.scanning")), true);
    if (m_rows.isEmpty())
        return paintMessage(painter, localized(QStringLiteral("picker.noMatch")), false);

    const EffectiveAppearance appearance = effectiveAppearance(this);
    const QFont nameFont = SystemFont::font(13);
    const QFont captionFont = SystemFont::font(10);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF captionMetrics(captionFont);
    const int first = std::max(0, (verticalScrollBar()->value() - verticalInset) / (rowHeight + rowSpacing));
    for (int index = first; index < m_rows.size(); ++index) {
        const QRect row = rowRect(index);
        if (row.top() > viewport()->height())
            break;
        const AppItem &entry = m_rows.at(index);
        const bool selected = m_isSelected(entry.bundleIdentifier);
        painter.setOpacity(index == m_pressedRow ? 0.85 : 1.0);
        const QRectF box = QRectF(row).adjusted(0.4, 0.4, -0.4, -0.4);
        const QPainterPath shape = ContinuousShape::roundedRect(box, 10);
        painter.fillPath(shape, (selected ? AppColors::accent2Glow : AppColors::bgInput).resolve(appearance));
        painter.setPen(QPen((selected ? AppColors::accent2 : AppColors::border).resolve(appearance), 0.8));
        painter.drawPath(shape);
        // The current row is the keyboard's: after a click the row's own look says what was chosen.
        if (index == m_currentRow && hasFocus() && KeyboardFocusRing::keyboardInUse()) {
            painter.setPen(QPen(AppColors::accent.resolve(appearance), 2));
            painter.drawPath(ContinuousShape::roundedRect(QRectF(row).adjusted(1, 1, -1, -1), 9));
        }

        const QRectF iconRect(row.left() + rowPadding, row.top() + rowPadding, iconSide, iconSide);
        painter.drawPixmap(iconRect, icon(entry), QRectF());

        QRectF checkRect(row.right() - rowPadding, row.center().y(), 0, 0);
        if (const auto symbol = SymbolImage::named(selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"))) {
            const SymbolImage check = symbol->configured(15, SymbolImage::Weight::Regular,
                                                         (selected ? AppColors::accent2 : AppColors::text4).resolve(appearance));
            const QSizeF size = check.size();
            checkRect = QRectF(row.right() - rowPadding - size.width(), row.center().y() - size.height() / 2, size.width(), size.height());
            check.render(painter, checkRect);
        }

        const qreal textLeft = iconRect.right() + 12;
        const qreal textWidth = std::max<qreal>(0, checkRect.left() - 8 - textLeft);
        const qreal textTop = row.center().y() - (nameMetrics.height() + 2 + captionMetrics.height()) / 2;
        painter.setFont(nameFont);
        painter.setPen(AppColors::text1.resolve(appearance));
        painter.drawText(QRectF(textLeft, textTop, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         nameMetrics.elidedText(entry.name, Qt::ElideRight, textWidth));
        painter.setFont(captionFont);
        painter.setPen(AppColors::text3.resolve(appearance));
        painter.drawText(QRectF(textLeft, textTop + nameMetrics.height() + 2, textWidth, captionMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, captionMetrics.elidedText(entry.bundleIdentifier, Qt::ElideMiddle, textWidth));
    }
}
