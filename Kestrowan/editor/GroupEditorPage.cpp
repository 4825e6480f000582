#include "Kestrowan/editor/GroupEditorPage.h"

#include "Kestrowan/editor/ApplicationChooserDialog.h"
#include "Kestrowan/editor/DisplayStyleChoice.h"
#include "Kestrowan/editor/DisplayStyleSection.h"
#include "Kestrowan/editor/DockStatusChip.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/DockSyncPort.h"
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorHeaderRow.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/IconStyleChoice.h"
#include "Kestrowan/editor/IconStyleSection.h"
#include "Kestrowan/editor/KeyboardShortcutStore.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/editor/ShortcutSection.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "NVLXDesign/ContinuousShape.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/groups/PathComponents.h"
#include "Kestrowan/shell/DialogPresentation.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Kestrowan/shell/OpenPanelColumns.h"
#include "NVLXDesign/DynamicShadowEffect.h"
#include "NVLXDesign/SurfaceShadowEffect.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"

#include <QDrag>
#include <QFocusEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kBarMargin = 18;
// Between the end of the scrolling area and the top of the bar.
constexpr int kBarGap = 8;
constexpr int kEndSpace = 60;
constexpr int kIconSide = 72;

// A section of the scrolling column: its content padded 20 across and 12 down.
QWidget *padded(QWidget *content)
{
    auto *holder = new QWidget;
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(20, 12, 20, 12);
    layout->addWidget(content);
    // A scrolling row inside a section would paint the window colour over the page's background.
    for (QScrollArea *scroll : content->findChildren<QScrollArea *>()) {
        if (scroll->widget())
            scroll->widget()->setAutoFillBackground(false);
    }
    return holder;
}

// The group with the items its previews show (during a reorder, the order from before).
AppGroup previewGroup(const EditorDraft *draft)
{
    AppGroup group = draft->draft();
    group.apps = draft->iconPreviewApps();
    return group;
}

ConfirmationAlert *makeConfirmation(QWidget *parent, const QString &title, const QString &messageKey)
{
    return new ConfirmationAlert(title, localized(messageKey), localized(QStringLiteral("groupList.delete")), parent);
}

} // namespace

GroupEditorPage::GroupEditorPage(const GroupEditorServices &services, const AppGroup &group, bool isNewDraft, std::function<void()> onBack,
                                 QWidget *parent)
    : QWidget(parent), m_services(services), m_onBack(std::move(onBack))
{
    UserDefaults &defaults = services.defaults ? *services.defaults : UserDefaults::standard();
    if (!m_services.dockSync) {
        m_ownDockSync = makeStoreDockSync(services.groupManager, services.skinManager);
        m_services.dockSync = m_ownDockSync.get();
    }
    m_draft = new EditorDraft(group, this);
    m_handler = new DraftChangeHandler(m_draft, services.groupManager, isNewDraft, [this] {
        if (m_sync)
            m_sync->scheduleAutoSync();
    }, this);
    m_sync = new EditorSyncController(m_draft, m_handler, m_services.dockSync, defaults, this);
    const QString keepsake = services.droppedItemsFolder.isEmpty() ? DroppedItemKeeper::defaultFolder() : services.droppedItemsFolder;
    m_actions = new EditorItemActions(m_draft, m_handler, services.sendSignal, keepsake, this);
    // A dropped folder's copy tells how far it has come, and a refusal says why.
    m_notices = new AppToastModifier(this);
    connect(m_actions, &EditorItemActions::notice, m_notices, &AppToastModifier::setToast);
    connect(m_handler, &DraftChangeHandler::typedNameReplaced, m_notices, [this](const QString &typed, const QString &kept) {
        m_notices->setToast(AppToast{AppToast::Kind::Warning, localizedFormat(QStringLiteral("groups.renamedElsewhere"), {typed, kept})});
    });
    m_openers = new OpenerRulesEditor(m_draft, services.applicationChooser ? services.applicationChooser : ApplicationChooserDialog::chooser(this),
                                      this);
    m_iconChoice = new IconStyleChoice(m_draft, services.skinManager, services.sendSignal, this);
    m_displayChoice = new DisplayStyleChoice(m_draft, services.permissionManager, defaults, services.sendSignal, this);
    GroupShortcutStore *shortcuts = services.shortcutStore;
    if (!shortcuts && services.keyboardShortcutService)
        shortcuts = new KeyboardShortcutStore(services.keyboardShortcutService, this);
    if (shortcuts)
        m_recorder = new ShortcutRecorder(m_draft, shortcuts, services.groupManager,
                                          services.keyTranslator ? services.keyTranslator : ShortcutRecorder::platformKeyTranslator(), this);

    setAutoFillBackground(false);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    m_header = new EditorHeaderRow(this);
    root->addWidget(m_header);
    root->addWidget(new DSDivider(this));

    m_scroll = new QScrollArea(this);
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    // A slim grey thumb on no track reads on both backgrounds.
    m_scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 110); border-radius: 3px; min-height: 30px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    auto *column = new QWidget;
    column->setAutoFillBackground(false);
    auto *sections = new QVBoxLayout(column);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(0);
    sections->addWidget(buildNameRow());
    m_items = new EditorItemSection(m_draft, m_actions, m_openers, column);
    // Made inside the items' section: the section shows or hides itself as it is made, and a
    // widget shown without a parent is a window of its own for a moment (closing any open menu).
    m_items->setOpenerSection(new OpenerSection(m_openers, m_items));
    sections->addWidget(m_items);
    sections->addWidget(padded(new IconStyleSection(m_iconChoice)));
    sections->addWidget(padded(new DisplayStyleSection(m_displayChoice)));
    if (m_recorder) {
        auto *shortcutSection = new ShortcutSection(m_recorder);
        sections->addWidget(padded(shortcutSection));
        connect(shortcutSection, &ShortcutSection::lineShown, this, &GroupEditorPage::scrollIntoView);
    }
    // Room after the last section, so that it scrolls clear of the bar laid over the page's end.
    m_endSpace = new QSpacerItem(0, kEndSpace, QSizePolicy::Minimum, QSizePolicy::Fixed);
    sections->addSpacerItem(m_endSpace);
    sections->addStretch(1);
    m_scroll->setWidget(column);
    // The scroll area paints its content's background; the page's own shows through instead.
    column->setAutoFillBackground(false);
    root->addWidget(m_scroll, 1);

    m_bar = new DockSyncBar(m_sync, this);
    m_barEntrance.setTargetObject(m_bar);
    m_barEntrance.setPropertyName("pos");
    m_barEntrance.setDuration(200);
    m_barEntrance.setEasingCurve(QEasingCurve::OutCubic);
    SurfaceShadowEffect::apply(m_bar, AppColors::shadowLg, 18, QPointF(0, 8));
    connect(m_bar, &DockSyncBar::wantedChanged, this, &GroupEditorPage::placeBar);

    connect(m_header, &EditorHeaderRow::backClicked, this, [this] {
        leavePage(true);
        if (m_onBack)
            m_onBack();
    });
    connect(m_header, &EditorHeaderRow::deleteClicked, this, &GroupEditorPage::confirmDeleteGroup);
    connect(m_draft, &EditorDraft::draftChanged, this, &GroupEditorPage::refreshFromDraft);
    connect(m_draft, &EditorDraft::previewAppsChanged, this, [this] { m_icon->setGroup(previewGroup(m_draft)); });
    connect(m_sync, &EditorSyncController::changed, this, &GroupEditorPage::refreshStatus);
    connect(m_actions, &EditorItemActions::removeRequestChanged, this, &GroupEditorPage::showRemoveConfirmation);
    connect(m_items, &EditorItemSection::addDockAppsRequested, this, [this] { showPicker(m_services.dockAppPicker, QStringLiteral("dock_picker")); });
    connect(m_items, &EditorItemSection::addAppsRequested, this, [this] { showPicker(m_services.installedAppPicker, QStringLiteral("picker")); });
    connect(m_items, &EditorItemSection::addFilesRequested, this, [this] { addItemsWithOpenPanel(false); });
    connect(m_items, &EditorItemSection::addFoldersRequested, this, [this] { addItemsWithOpenPanel(true); });
    connect(m_items, &EditorItemSection::itemDragStarted, this, [this](const AppItem &item) {
        m_actions->beginItemDrag(item.id);
        runDrag(item);
    });
    connect(m_items, &EditorItemSection::tileDragStarted, this, &GroupEditorPage::runDrag);
    refreshFromDraft();
    refreshStatus();
}

GroupEditorPage::~GroupEditorPage()
{
    // Replaced by another page without Back: left all the same.
    leavePage(true);
}

QWidget *GroupEditorPage::buildNameRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(16);
    m_icon = new ComposedGroupIconView(previewGroup(m_draft), kIconSide, m_services.skinManager, row);
    m_icon->setFixedSize(kIconSide, kIconSide);
    DynamicShadowEffect::apply(m_icon, AppColors::shadowMd, 4, QPointF(0, 2));
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);
    auto *field = new SurfaceFrame([this](EffectiveAppearance appearance) {
        return RoundedSurface{8, AppColors::bgHover.resolve(appearance), AppColors::border.resolve(appearance), 1.0}
            .focusedIf(m_nameField && m_nameField->hasFocus(), appearance);
    });
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *fieldLayout = new QHBoxLayout(field);
    fieldLayout->setContentsMargins(10, 6, 10, 6);
    m_nameField = new QLineEdit(m_draft->draft().name, field);
    m_nameField->setFrame(false);
    m_nameField->setFont(SystemFont::font(15, QFont::DemiBold));
    m_nameField->setPlaceholderText(localized(QStringLiteral("editor.groupName")));
    m_nameField->setAttribute(Qt::WA_MacShowFocusRect, false);
    // No style sheet: one would pin the field's palette as it was when polished, and a later switch
    // of the look would leave the name in the old text colour. Only the base is ours (the rounded
    // field behind draws the background); the text follows the window's palette.
    QPalette transparentBase;
    transparentBase.setResolveMask(0);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        transparentBase.setColor(group, QPalette::Base, Qt::transparent);
    m_nameField->setPalette(transparentBase);
    fieldLayout->addWidget(m_nameField);
    repaintOnFocusChange(m_nameField, field);
    // While the user types, the name in the field is theirs; leaving the field ends the typing.
    m_nameField->installEventFilter(this);
    connect(m_nameField, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_handler->nameTyped();
        AppGroup group = m_draft->draft();
        group.name = text;
        m_draft->setDraft(group);
    });
    connect(m_nameField, &QLineEdit::returnPressed, m_handler, &DraftChangeHandler::endTyping);
    texts->addStretch(1);
    texts->addWidget(field);
    m_statusChip = new DockStatusChip(true, row);
    texts->addWidget(m_statusChip, 0, Qt::AlignLeft);
    texts->addStretch(1);
    layout->addLayout(texts, 1);
    return row;
}

void GroupEditorPage::refreshFromDraft()
{
    const AppGroup &group = m_draft->draft();
    if (m_nameField && m_nameField->text() != group.name)
        showStoredName(group.name);
    m_icon->setGroup(previewGroup(m_draft));
    m_header->deleteButton()->setEnabled(!m_handler->isNewDraft() || m_handler->hasMadeChanges());
    if (isVisible()) {
        // The documents' thumbnails are fetched before their cells ask for them, again only when
        // the items or the screen's scale changed.
        QStringList key{group.id.toString(QUuid::WithoutBraces).toUpper()};
        for (const AppItem &item : group.apps)
            key.append(item.path);
        key.append(QString::number(devicePixelRatioF()));
        const QString joined = key.join(u'|');
        if (joined != m_prefetchKey) {
            m_prefetchKey = joined;
            ThumbnailCache::shared().prefetch(group.apps, QSizeF(128, 128), devicePixelRatioF(), this);
        }
    }
}

void GroupEditorPage::showStoredName(const QString &name)
{
    // A name that comes while the keyboard is in the field keeps what the keys would act on: all
    // of it selected stays all selected, and a cursor keeps its place (at the end, the new end).
    const bool allSelected = m_nameField->hasSelectedText() && m_nameField->selectedText() == m_nameField->text();
    const bool atEnd = m_nameField->cursorPosition() == m_nameField->text().size();
    const int cursor = m_nameField->cursorPosition();
    m_nameField->setText(name);
    if (allSelected)
        m_nameField->selectAll();
    else if (!atEnd)
        m_nameField->setCursorPosition(std::min<int>(cursor, name.size()));
}

void GroupEditorPage::refreshStatus()
{
    using Status = EditorSyncController::Status;
    switch (m_sync->status()) {
    case Status::Syncing:
        m_statusChip->display(localized(QStringLiteral("editor.syncing")), AppColors::info, true);
        m_statusChip->setAccessibleName(localized(QStringLiteral("ax.syncStatus.syncing")));
        break;
    case Status::Failed:
        m_statusChip->display(localized(QStringLiteral("editor.syncFailed")), AppColors::danger);
        m_statusChip->setAccessibleName(localized(QStringLiteral("ax.syncStatus.failed")));
        break;
    case Status::Synced:
        m_statusChip->display(localized(QStringLiteral("editor.synced")), AppColors::success);
        m_statusChip->setAccessibleName(localized(QStringLiteral("ax.syncStatus.upToDate")));
        break;
    case Status::UpToDate:
        m_statusChip->display(localized(QStringLiteral("editor.dockUpToDate")), AppColors::success);
        m_statusChip->setAccessibleName(localized(QStringLiteral("ax.syncStatus.upToDate")));
        break;
    case Status::None:
        break;
    }
    m_statusChip->setVisible(m_sync->status() != Status::None);
    placeBar();
}

void GroupEditorPage::placeBar()
{
    const bool appearing = m_bar->isWanted() && m_bar->isHidden();
    m_bar->setVisible(m_bar->isWanted());
    const int height = m_bar->sizeHint().height();
    // The end of the page can always be scrolled above the bar, with some air between. The room
    // stays while the bar is away, so that the page does not lay itself out again as it comes.
    const int endSpace = std::max(kEndSpace, kBarMargin + height + 12);
    if (m_endSpace->sizeHint().height() < endSpace) {
        m_endSpace->changeSize(0, endSpace, QSizePolicy::Minimum, QSizePolicy::Fixed);
        m_scroll->widget()->layout()->invalidate();
    }
    // While the bar shows, the scrolling area ends above it: the bar floats over the page's own
    // background, never over a section (whose labels it would run through at the first scroll
    // position, with nothing to scroll them clear where the page is short).
    const int room = m_bar->isWanted() ? kBarMargin + height + kBarGap : 0;
    if (layout()->contentsMargins().bottom() != room)
        layout()->setContentsMargins(0, 0, 0, room);
    if (!m_bar->isWanted())
        return;
    const QRect place(kBarMargin, this->height() - kBarMargin - height, width() - 2 * kBarMargin, height);
    if (m_barEntrance.state() == QAbstractAnimation::Running)
        m_barEntrance.setEndValue(place.topLeft());
    m_bar->setGeometry(place);
    // Raising redraws the bar (and its shadow): only when something has come over it.
    const QObjectList &siblings = children();
    for (auto it = siblings.crbegin(); it != siblings.crend(); ++it) {
        auto *sibling = qobject_cast<QWidget *>(*it);
        if (!sibling || sibling->isWindow())
            continue;
        if (sibling != m_bar)
            m_bar->raise();
        break;
    }
    // The bar rises in from the bottom edge; it is there and usable from the first frame.
    if (appearing && isVisible()) {
        m_barEntrance.setStartValue(place.topLeft() + QPoint(0, kBarMargin + height / 2));
        m_barEntrance.setEndValue(place.topLeft());
        m_barEntrance.start();
    }
}

void GroupEditorPage::scrollIntoView(QWidget *widget)
{
    // The line has only just been shown: its place is known once the column has been laid out again.
    QTimer::singleShot(0, widget, [this, widget] {
        if (!widget->isVisible())
            return;
        for (QWidget *holder = widget->parentWidget(); holder && holder != m_scroll->viewport(); holder = holder->parentWidget()) {
            if (holder->layout())
                holder->layout()->activate();
        }
        // The scrolling area ends above the bottom bar, so whatever it shows is clear of it.
        const QRect line(widget->mapTo(m_scroll->widget(), QPoint(0, 0)), widget->size());
        m_scroll->ensureVisible(line.center().x(), line.bottom(), 0, 50);
        // A line taller than the room left keeps its start in view.
        m_scroll->ensureVisible(line.center().x(), line.top(), 0, 12);
    });
}

void GroupEditorPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeBar();
}

void GroupEditorPage::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppColors::bg.resolve(this));
}

void GroupEditorPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_sync->recordSyncedSnapshotOnAppear();
    // A new group opens with the keyboard in its name (once the page is on screen).
    if (m_handler->isNewDraft() && !m_handler->hasMadeChanges())
        QMetaObject::invokeMethod(m_nameField, qOverload<>(&QWidget::setFocus), Qt::QueuedConnection);
    refreshFromDraft();
    placeBar();
}

bool GroupEditorPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_nameField && event->type() == QEvent::FocusOut) {
        // Another window coming forward, or the field's own menu, leaves the keyboard with the
        // field as far as this window goes: the typing goes on when the user comes back (a pause
        // still ends it).
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            m_handler->endTyping();
    }
    return QWidget::eventFilter(watched, event);
}

void GroupEditorPage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    // Taken off the screen: nothing may keep running for a page nobody sees, and a change waiting
    // for its countdown is synced now rather than never.
    m_actions->finishReorder();
    m_handler->endTyping();
    m_sync->syncOwedNow();
    if (m_recorder)
        m_recorder->cancelRecording();
}

void GroupEditorPage::leavePage(bool syncOwed)
{
    if (m_left)
        return;
    m_left = true;
    m_actions->finishReorder();
    m_handler->endTyping();
    // A group deleted elsewhere meanwhile (the page then goes away without Back) is not synced back.
    const QList<AppGroup> stored = m_services.groupManager ? m_services.groupManager->groups() : QList<AppGroup>();
    const bool stillStored = std::any_of(stored.cbegin(), stored.cend(), [this](const AppGroup &group) { return group.id == m_draft->groupID(); });
    if (syncOwed && stillStored)
        m_sync->leave();
    else
        m_sync->stop();
    if (m_recorder)
        m_recorder->cancelRecording();
}

void GroupEditorPage::confirmDeleteGroup()
{
    ConfirmationAlert *alert = makeConfirmation(this, ConfirmationAlert::deleteGroupTitle(m_draft->draft().name), QStringLiteral("editor.deleteConfirm"));
    alert->setObjectName(QStringLiteral("deleteGroupAlert"));
    connect(alert, &ConfirmationAlert::confirmed, this, &GroupEditorPage::deleteConfirmedGroup);
    presentAboveWindow(alert);
}

void GroupEditorPage::deleteConfirmedGroup()
{
    // No countdown or queued sync may bring the group's tile back once it is gone.
    leavePage(false);
    if (!(m_handler->isNewDraft() && !m_handler->hasMadeChanges()) && m_services.groupManager) {
        AppGroup stored = m_draft->draft();
        for (const AppGroup &candidate : m_services.groupManager->groups()) {
            if (candidate.id == stored.id)
                stored = candidate;
        }
        m_services.groupManager->deleteGroup(stored, false);
    }
    if (m_onBack)
        m_onBack();
}

void GroupEditorPage::showRemoveConfirmation()
{
    if (!m_actions->confirmRemoveAppID() || m_removeAlert)
        return;
    // The question names the item it removes, as the list shows it.
    QString name;
    for (const AppItem &item : m_draft->draft().apps) {
        if (item.id == *m_actions->confirmRemoveAppID()) {
            name = item.name.isEmpty() ? lastPathComponent(item.path) : item.name;
            break;
        }
    }
    // The item only leaves the group; nothing is deleted, and the words say so.
    m_removeAlert = new ConfirmationAlert(localized(QStringLiteral("editor.removeApp")),
                                          localizedFormat(QStringLiteral("editor.removeAppConfirmNamed"), {name}),
                                          localized(QStringLiteral("editor.removeApp")), this);
    m_removeAlert->setObjectName(QStringLiteral("removeItemAlert"));
    connect(m_removeAlert, &QDialog::finished, this, [this] {
        const bool remove = m_removeAlert->wasConfirmed();
        m_removeAlert = nullptr;
        if (remove)
            m_actions->removeConfirmedApp();
        else
            m_actions->cancelRemove();
    });
    presentAboveWindow(m_removeAlert);
}

QFileDialog *GroupEditorPage::addItemsWithOpenPanel(bool foldersOnly)
{
    // The program's own chooser, titled for what it does, not a bare "Open": one that it can put
    // above its window and give the keyboard.
    auto *panel = new QFileDialog(this);
    useOwnFileDialog(panel);
    panel->setObjectName(QStringLiteral("addItemsPanel"));
    panel->setWindowTitle(localized(foldersOnly ? QStringLiteral("editor.openPanel.foldersTitle") : QStringLiteral("editor.openPanel.filesTitle")));
    panel->setOption(QFileDialog::ShowDirsOnly, foldersOnly);
    panel->setFileMode(foldersOnly ? QFileDialog::Directory : QFileDialog::ExistingFiles);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setLabelText(QFileDialog::Accept,
                        localized(foldersOnly ? QStringLiteral("picker.chooseFolders") : QStringLiteral("picker.chooseItems")));
    panel->setDirectory(QDir::homePath());
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    if (foldersOnly) {
        // Several folders at once, as several files can be chosen.
        for (QAbstractItemView *view : panel->findChildren<QAbstractItemView *>(QStringLiteral("listView")))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (QAbstractItemView *view : panel->findChildren<QAbstractItemView *>(QStringLiteral("treeView")))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList &paths) {
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls.append(QUrl::fromLocalFile(path));
        m_actions->addURLs(urls);
    });
    localizeOpenPanel(panel);
    keepOpenPanelColumnsWhole(panel);
    presentAboveWindow(panel);
    return panel;
}

void GroupEditorPage::showPicker(const GroupEditorServices::PickerPresenter &picker, const QString &method)
{
    if (!picker)
        return;
    QPointer<GroupEditorPage> self(this);
    picker(this, m_draft->draft().apps, [self, method](const std::optional<QList<AppItem>> &apps) {
        if (!self)
            return;
        if (apps)
            self->m_actions->applyPickedApps(*apps);
        self->m_actions->trackAppsAdded(method);
    });
}

QPixmap GroupEditorPage::dragPicture(const AppItem &item) const
{
    const QImage picture = itemThumbnail(item);
    if (picture.isNull())
        return {};
    // The item's picture on a tile of the card colour, cut to the cell's rounded shape: every
    // pixel is either whole or clear. Without a compositing manager the drag window is shaped by
    // the picture's mask over a white fill, and a soft or see-through pixel would show that fill
    // as a white square around the item.
    const qreal ratio = devicePixelRatioF();
    const QSize side = QSize(48, 48) * ratio;
    QImage tile(side, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPainterPath shape = ContinuousShape::roundedRect(QRectF(QPointF(0, 0), QSizeF(side)), ItemThumbnailFrame::editorCellRadius * ratio);
    painter.setClipPath(shape);
    painter.fillRect(tile.rect(), AppColors::surface.resolve(this));
    // Scaled in pixels: the thumbnail is drawn at its own pixel density, which `scaled` keeps, and
    // the painter would then draw it at a fraction of its size in the corner.
    QImage source = picture;
    source.setDevicePixelRatio(1);
    const QImage scaled = source.scaled(side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPointF((side.width() - scaled.width()) / 2.0, (side.height() - scaled.height()) / 2.0), scaled);
    painter.end();
    // Hard edges: the shape's own smoothing would leave half-clear pixels at the corners.
    for (int y = 0; y < tile.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(tile.scanLine(y));
        for (int x = 0; x < tile.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha >= 128 && alpha < 255) {
                const QColor colour = QColor::fromRgba(qUnpremultiply(line[x]));
                line[x] = qRgb(colour.red(), colour.green(), colour.blue());
            } else if (alpha < 128) {
                line[x] = 0;
            }
        }
    }
    QPixmap pixmap = QPixmap::fromImage(tile);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

void GroupEditorPage::runDrag(const AppItem &item)
{
    QMimeData *payload = EditorItemActions::dragPayload(item);
    const QPixmap picture = dragPicture(item);
    if (m_dragRunner) {
        m_dragRunner(m_items, payload, picture);
        return;
    }
    QPointer<GroupEditorPage> self(this);
    auto *drag = new QDrag(m_items);
    drag->setMimeData(payload);
    if (!picture.isNull()) {
        drag->setPixmap(picture);
        drag->setHotSpot(QPoint(24, 24));
    }
    drag->exec(Qt::MoveAction);
    if (self)
        m_actions->endDrag();
}
