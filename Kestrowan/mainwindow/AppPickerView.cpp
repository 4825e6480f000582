#include "Kestrowan/mainwindow/AppPickerView.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/SearchField.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/SystemFont.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// The magnifying glass, drawn in the secondary colour of the appearance it is shown in.
class SearchGlyph final : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return QSize(14, 14); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (const auto symbol = SymbolImage::named(QStringLiteral("magnifyingglass"))) {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            const SymbolImage glyph = symbol->configured(13, SymbolImage::Weight::Regular, AppColors::text2.resolve(this));
            const QSizeF size = glyph.size();
            glyph.render(painter, QRectF(QRectF(rect()).center() - QPointF(size.width() / 2, size.height() / 2), size));
        }
    }
};

// The search field's rounded surface, outlined in the focus colour while the field has the keyboard.
class SearchBar final : public QWidget {
public:
    using QWidget::QWidget;
    void setField(QWidget *field)
    {
        m_field = field;
        repaintOnFocusChange(field, this);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const EffectiveAppearance appearance = effectiveAppearance(this);
        const RoundedSurface surface = RoundedSurface{10, AppColors::bgInput.resolve(appearance), AppColors::borderStrong.resolve(appearance), 0.8}
                                           .focusedIf(m_field && m_field->hasFocus(), appearance);
        const QRectF box = QRectF(rect()).adjusted(0.4, 0.4, -0.4, -0.4);
        surface.paintFill(painter, box);
        surface.paintOutline(painter, box);
    }

private:
    QPointer<QWidget> m_field;
};

} // namespace

AppPickerView::AppPickerView(InstalledAppsServiceInterface &appsService, const QList<AppItem> &selectedApps, QWidget *parent)
    : StagedPicker(localized(QStringLiteral("picker.title")), selectedApps, parent)
    , m_appsService(appsService)
{
    auto *barHolder = new QWidget(this);
    auto *barHolderLayout = new QHBoxLayout(barHolder);
    barHolderLayout->setContentsMargins(12, 8, 12, 8);
    auto *bar = new SearchBar(barHolder);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(10, 10, 10, 10);
    barLayout->setSpacing(6);
    barLayout->addWidget(new SearchGlyph(bar));
    m_search = new SearchField(bar);
    m_search->setFont(SystemFont::font(13));
    m_search->setPlaceholderText(localized(QStringLiteral("picker.search")));
    barLayout->addWidget(m_search, 1);
    bar->setField(m_search);
    barHolderLayout->addWidget(bar);
    body()->addWidget(barHolder);
    body()->addWidget(new DSDivider(this));

    m_list = new AppPickerList([this](const QString &bundleIdentifier) { return staged().isSelected(bundleIdentifier); }, this);
    body()->addWidget(m_list, 1);

    connect(m_list, &AppPickerList::rowToggled, this, &AppPickerView::toggleStagedApp);
    // Typing in the list searches: the keys go on to the field, which takes the keyboard.
    connect(m_list, &AppPickerList::typedForSearch, this, [this](QKeyEvent *event) {
        m_search->setFocus(Qt::OtherFocusReason);
        QKeyEvent forwarded(event->type(), event->key(), event->modifiers(), event->text(), event->isAutoRepeat());
        QCoreApplication::sendEvent(m_search, &forwarded);
    });
    m_search->installEventFilter(this);
    setTabOrder(m_search, m_list);
    setTabOrder(m_list, cancelButton());
    setTabOrder(cancelButton(), doneButton());
    connect(m_search, &QLineEdit::textChanged, this, &AppPickerView::refreshRows);
    connect(&m_appsService, &InstalledAppsServiceInterface::installedAppsChanged, this, &AppPickerView::refreshRows);
    connect(&m_appsService, &InstalledAppsServiceInterface::isScanningChanged, this, &AppPickerView::refreshRows);
    refreshRows();
    m_search->setFocus();
}

void AppPickerView::showEvent(QShowEvent *event)
{
    StagedPicker::showEvent(event);
    // The sheet opens ready for typing a name, not on its first button.
    m_search->setFocus(Qt::OtherFocusReason);
}

bool AppPickerView::eventFilter(QObject *watched, QEvent *event)
{
    // From the field, the down arrow (and Page Down) goes on into the rows.
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Down || key == Qt::Key_PageDown) && !m_list->rows().isEmpty()) {
            m_list->setFocus(Qt::TabFocusReason);
            m_list->setCurrentRow(0);
            return true;
        }
    }
    return StagedPicker::eventFilter(watched, event);
}

void AppPickerView::refreshRows()
{
    m_list->setScanning(m_appsService.isScanning());
    m_list->setRows(filterInstalledApps(m_appsService.installedApps(), m_search->text()));
}

void AppPickerView::selectionChanged()
{
    m_list->viewport()->update();
}
