#include "Kestrowan/mainwindow/SettingsPanel.h"

#include "Kestrowan/mainwindow/SettingsModel.h"
#include "Kestrowan/mainwindow/SettingsReset.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/DialogPresentation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/WorkspaceOpener.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString makerName = QStringLiteral("Kestrowan");
const QUrl &makerPage()
{
    static const QUrl page(QStringLiteral("https://kestrowan.app"));
    return page;
}

QWidget *section(const QString &symbol, const QString &title, QWidget *body, QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(makeSettingsSectionHeader(symbol, title, box));
    body->setParent(box);
    layout->addWidget(body);
    return box;
}

QHBoxLayout *rowLayout(QWidget *row, int vertical)
{
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, vertical, 14, vertical);
    return layout;
}

// One of the two interaction cards: symbol, title and subtitle, filled with the accent while chosen.
class ModeCard final : public PointerPlainButton {
public:
    ModeCard(const QString &symbol, const QString &title, QWidget *parent)
        : PointerPlainButton(parent)
    {
        auto *content = new QWidget(this);
        auto *layout = new QVBoxLayout(content);
        layout->setContentsMargins(8, 12, 8, 12);
        layout->setSpacing(4);
        m_symbol = new SymbolView(symbol, 21, AppColors::icon, content);
        layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
        m_title = new TokenLabel(title, AppColors::text2, SystemFont::font(11, QFont::DemiBold), content);
        m_title->setAlignment(Qt::AlignCenter);
        layout->addWidget(m_title);
        m_subtitle = new TokenLabel(QString(), AppColors::text3, SystemFont::font(11), content);
        m_subtitle->setAlignment(Qt::AlignCenter);
        m_subtitle->setWordWrap(true);
        layout->addWidget(m_subtitle);
        setContent(content);
        setAccessibleName(title);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }

    void show(bool selected, const QString &subtitle)
    {
        m_selected = selected;
        m_subtitle->setText(subtitle);
        setAccessibleDescription(subtitle);
        // The chosen card is filled with the accent: its words take the ink made for that fill.
        static constexpr DynamicColor dimmedInk = DynamicColor::fixed(0x1A120A, 0.8);
        m_symbol->setColor(selected ? AppColors::accentOn : AppColors::icon);
        m_title->setColor(selected ? AppColors::accentOn : AppColors::text2);
        m_subtitle->setColor(selected ? dimmedInk : AppColors::text3);
        update();
    }
    bool isSelected() const { return m_selected; }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QPainterPath shape = ContinuousShape::roundedRect(card, 10);
        painter.fillPath(shape, m_selected ? AppColors::accent.resolve(this) : AppColors::bgHover.resolve(this));
        if (!m_selected) {
            painter.setPen(QPen(AppColors::borderCard.resolve(this), 1));
            painter.drawPath(shape);
        }
        painter.end();
        PointerPlainButton::paintEvent(event);
    }

private:
    SymbolView *m_symbol;
    TokenLabel *m_title;
    TokenLabel *m_subtitle;
    bool m_selected = false;
};

// A small rounded button with a symbol and a text (check for updates, reset all).
PointerPlainButton *pillButton(const QString &symbol, qreal symbolSize, const QString &text, const DynamicColor &color,
                               QWidget *parent)
{
    auto *button = new PointerPlainButton(parent);
    auto *content = new QWidget(button);
    auto *layout = new QHBoxLayout(content);
    layout->setContentsMargins(10, 5, 10, 5);
    layout->setSpacing(5);
    layout->addWidget(new SymbolView(symbol, symbolSize, color, content), 0, Qt::AlignVCenter);
    layout->addWidget(new TokenLabel(text, color, SystemFont::font(11, QFont::Medium), content), 0, Qt::AlignVCenter);
    button->setContent(content);
    button->setAccessibleName(text);
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

class PillBackground final : public QObject {
public:
    PillBackground(QWidget *target, DynamicColor fill, std::optional<DynamicColor> stroke, qreal fillFactor = 1,
                   qreal strokeFactor = 1)
        : QObject(target)
        , m_fill(fill)
        , m_stroke(stroke)
        , m_fillFactor(fillFactor)
        , m_strokeFactor(strokeFactor)
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        QPainter painter(widget);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF pill = QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const QPainterPath shape = ContinuousShape::roundedRect(pill, 10);
        painter.fillPath(shape, m_fill.resolve(widget, m_fillFactor));
        if (m_stroke) {
            painter.setPen(QPen(m_stroke->resolve(widget, m_strokeFactor), 1));
            painter.drawPath(shape);
        }
        return false;
    }

private:
    DynamicColor m_fill;
    std::optional<DynamicColor> m_stroke;
    qreal m_fillFactor;
    qreal m_strokeFactor;
};

} // namespace

SettingsPanel::SettingsPanel(const AppEnvironment &environment, std::function<void()> onBack, QWidget *parent)
    : QWidget(parent)
    , m_model(new SettingsModel(environment.appUpdater, environment.groupManager, environment.permissionManager, this))
    , m_onBack(std::move(onBack))
{
    setObjectName(QStringLiteral("settingsPanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    build();
    connect(m_model, &SettingsModel::changed, this, &SettingsPanel::refresh);
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, &SettingsPanel::build);
    connect(&m_model->reset(), &SettingsReset::finished, this, &SettingsPanel::resetFinished);
}

SettingsPanel::~SettingsPanel() = default;

void SettingsPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppColors::bg.resolve(this));
}

void SettingsPanel::build()
{
    const int scrollPosition = m_scroll ? m_scroll->verticalScrollBar()->value() : 0;
    m_refreshers.clear();
    // A control chosen from the keyboard keeps the keyboard in the rebuilt page.
    const QWidget *focused = QApplication::focusWidget();
    const QString focusedName = m_content && focused && m_content->isAncestorOf(focused) ? focused->objectName() : QString();
    if (m_content) {
        // A rebuild can start inside a signal of one of the old controls (the language combo box
        // switches the language from its own activation, and Qt goes on using the box after that
        // signal returns), so the old page leaves the layout at once and is freed later.
        m_content->hide();
        layout()->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = new QWidget(this);
    auto *page = new QVBoxLayout(m_content);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    // Header: back to the group list.
    auto *header = new QWidget(m_content);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(16, 10, 16, 10);
    auto *back = new PointerPlainButton(header);
    back->setObjectName(QStringLiteral("back"));
    auto *backContent = new QWidget(back);
    auto *backLayout = new QHBoxLayout(backContent);
    backLayout->setContentsMargins(8, 6, 8, 6);
    backLayout->setSpacing(8);
    backLayout->addWidget(new SymbolView(QStringLiteral("chevron.left"), 13, AppColors::accent, backContent,
                                         SymbolImage::Weight::Medium), 0, Qt::AlignVCenter);
    backLayout->addWidget(new TokenLabel(localized(QStringLiteral("groupList.title")), AppColors::accent,
                                         SystemFont::font(13, QFont::Medium), backContent), 0, Qt::AlignVCenter);
    back->setContent(backContent);
    back->setMinimumHeight(30);
    back->setAccessibleName(localized(QStringLiteral("groupList.title")));
    connect(back, &QAbstractButton::clicked, this, [this] {
        if (m_onBack)
            m_onBack();
    });
    headerLayout->addWidget(back);
    headerLayout->addStretch(1);
    page->addWidget(header);
    page->addWidget(new DSDivider(m_content));

    m_scroll = new QScrollArea(m_content);
    // Tab goes to the controls inside; the scroll area itself is no stop (it would show nothing).
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setObjectName(QStringLiteral("settingsScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto *column = new QWidget(m_scroll);
    auto *sections = new QVBoxLayout(column);
    sections->setContentsMargins(20, 16, 20, 16);
    sections->setSpacing(20);
    sections->addWidget(buildGeneral());
    sections->addWidget(buildInteraction());
    sections->addWidget(buildDock());
    sections->addWidget(buildAbout());
    sections->addWidget(buildReset());
    sections->addStretch(1);
    m_scroll->setWidget(column);
    // The page's own background shows through the scrolling column.
    column->setAutoFillBackground(false);
    // A thin bar without a track. The style sheet stays on the bar alone: on the column it would pin
    // the palettes of the rows, which then would not follow a change of appearance.
    m_scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 3px; min-height: 32px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    page->addWidget(m_scroll, 1);

    static_cast<QVBoxLayout *>(layout())->addWidget(m_content);
    refresh();
    m_scroll->verticalScrollBar()->setValue(scrollPosition);
    if (!focusedName.isEmpty()) {
        if (QWidget *again = m_content->findChild<QWidget *>(focusedName))
            again->setFocus(Qt::OtherFocusReason);
    }
}

void SettingsPanel::refresh()
{
    for (const auto &refresher : std::as_const(m_refreshers))
        refresher();
}

QWidget *SettingsPanel::buildGeneral()
{
    auto *card = new SettingsCard;

    auto *launch = new SettingsSwitch;
    launch->setObjectName(QStringLiteral("launchAtLogin"));
    card->addRow(makeSettingsToggleRow(localized(QStringLiteral("settings.launchAtLogin")), launch, card));
    connect(launch, &QAbstractButton::toggled, m_model, &SettingsModel::setLaunchAtLogin);
    auto *launchFailure = new TokenLabel(QString(), AppColors::danger, SystemFont::font(11), card);
    launchFailure->setObjectName(QStringLiteral("launchAtLoginFailure"));
    launchFailure->setWordWrap(true);
    launchFailure->setContentsMargins(14, 0, 14, 10);
    card->addRow(launchFailure);
    m_refreshers.append([this, launch, launchFailure] {
        launch->setOn(m_model->launchAtLogin());
        const std::optional<QString> failure = m_model->launchAtLoginFailure();
        launchFailure->setText(failure.value_or(QString()));
        launchFailure->setVisible(failure.has_value());
    });
    card->addDivider();

    auto *dock = new SettingsSwitch;
    dock->setObjectName(QStringLiteral("showInDock"));
    card->addRow(makeSettingsToggleRow(localized(QStringLiteral("settings.showInDock")), dock, card));
    connect(dock, &QAbstractButton::toggled, m_model, &SettingsModel::setShowInDock);
    m_refreshers.append([this, dock] { dock->setOn(m_model->showInDock()); });
    card->addDivider();

    const QString appearanceTitle = localized(QStringLiteral("settings.appearance"));
    auto *appearanceRow = new QWidget(card);
    auto *appearanceLayout = rowLayout(appearanceRow, 10);
    appearanceLayout->addWidget(new TokenLabel(appearanceTitle, AppColors::text1, SystemFont::font(13), appearanceRow), 1);
    QList<SegmentedChoice::Option> modes;
    for (const QString &mode : {QStringLiteral("system"), QStringLiteral("light"), QStringLiteral("dark")}) {
        const QString label = localized(QStringLiteral("settings.appearance.") + mode);
        modes.append({mode, label, appearanceTitle + u' ' + label});
    }
    auto *appearance = new SegmentedChoice(modes, 14, appearanceRow);
    appearance->setObjectName(QStringLiteral("appearance"));
    appearance->setAccessibleName(appearanceTitle);
    appearanceLayout->addWidget(appearance, 0, Qt::AlignVCenter);
    connect(appearance, &SegmentedChoice::picked, m_model, &SettingsModel::selectAppearance);
    m_refreshers.append([this, appearance] { appearance->setSelected(m_model->appearanceMode()); });
    card->addRow(appearanceRow);
    card->addDivider();

    const QString languageTitle = localized(QStringLiteral("settings.language"));
    auto *languageRow = new QWidget(card);
    auto *languageLayout = rowLayout(languageRow, 10);
    languageLayout->addWidget(new TokenLabel(languageTitle, AppColors::text1, SystemFont::font(13), languageRow), 1);
    auto *language = new SettingsPopUpButton(languageRow);
    language->setObjectName(QStringLiteral("language"));
    language->setAccessibleName(languageTitle);
    language->setFixedWidth(210);
    for (const SettingsModel::Language &entry : SettingsModel::languages())
        language->addItem(entry.label, entry.id);
    languageLayout->addWidget(language, 0, Qt::AlignVCenter);
    connect(language, &QComboBox::activated, this, [this, language](int index) {
        m_model->selectLanguage(language->itemData(index).toString());
    });
    m_refreshers.append([this, language] {
        const QSignalBlocker quiet(language);
        language->setCurrentIndex(language->findData(m_model->language()));
    });
    card->addRow(languageRow);

    return section(QStringLiteral("gearshape"), localized(QStringLiteral("settings.general")), card, nullptr);
}

QWidget *SettingsPanel::buildInteraction()
{
    auto *card = new SettingsCard;
    auto *cards = new QWidget(card);
    auto *cardsLayout = new QHBoxLayout(cards);
    cardsLayout->setContentsMargins(14, 14, 14, 14);
    cardsLayout->setSpacing(12);
    auto *click = new ModeCard(QStringLiteral("cursorarrow.click.2"), localized(QStringLiteral("settings.interaction.clickMode")), cards);
    click->setObjectName(QStringLiteral("clickMode"));
    auto *hover = new ModeCard(QStringLiteral("eye"), localized(QStringLiteral("settings.interaction.hoverMode")), cards);
    hover->setObjectName(QStringLiteral("hoverMode"));
    cardsLayout->addWidget(click);
    cardsLayout->addWidget(hover);
    connect(click, &QAbstractButton::clicked, m_model, &SettingsModel::selectClickMode);
    connect(hover, &QAbstractButton::clicked, m_model, &SettingsModel::selectHoverMode);
    card->addRow(cards);

    auto *behaviourBlock = new QWidget(card);
    behaviourBlock->setObjectName(QStringLiteral("clickBehaviorBlock"));
    auto *blockLayout = new QVBoxLayout(behaviourBlock);
    blockLayout->setContentsMargins(14, 10, 14, 10);
    blockLayout->setSpacing(8);
    auto *behaviourRow = new QWidget(behaviourBlock);
    auto *behaviourLayout = new QHBoxLayout(behaviourRow);
    behaviourLayout->setContentsMargins(0, 0, 0, 0);
    const QString behaviourTitle = localized(QStringLiteral("settings.interaction.clickBehavior"));
    behaviourLayout->addWidget(new TokenLabel(behaviourTitle, AppColors::text1, SystemFont::font(13), behaviourRow), 1);
    QList<SegmentedChoice::Option> behaviours;
    for (const QString &value : {QStringLiteral("native"), QStringLiteral("enhanced")}) {
        const QString label = localized(QStringLiteral("settings.interaction.clickBehavior.") + value);
        behaviours.append({value, label, behaviourTitle + u' ' + label});
    }
    auto *behaviour = new SegmentedChoice(behaviours, 12, behaviourRow);
    behaviour->setObjectName(QStringLiteral("clickBehavior"));
    behaviour->setAccessibleName(behaviourTitle);
    behaviourLayout->addWidget(behaviour, 0, Qt::AlignVCenter);
    blockLayout->addWidget(behaviourRow);
    auto *description = new TokenLabel(QString(), AppColors::text3, SystemFont::font(11), behaviourBlock);
    description->setObjectName(QStringLiteral("clickBehaviorDescription"));
    description->setWordWrap(true);
    blockLayout->addWidget(description);
    connect(behaviour, &SegmentedChoice::picked, m_model,
            [this](const QString &value) { m_model->selectClickBehavior(value == QStringLiteral("enhanced")); });
    card->addRow(behaviourBlock);

    m_refreshers.append([this, click, hover, behaviourBlock, behaviour, description] {
        const QString mode = m_model->interactionMode();
        const bool granted = m_model->isAccessibilityGranted();
        click->show(mode == QStringLiteral("click"), localized(QStringLiteral("settings.interaction.clickGroupOpen")));
        hover->show(mode == QStringLiteral("hover"),
                    localized(granted ? QStringLiteral("settings.interaction.hoverGroupOpen")
                                      : QStringLiteral("settings.interaction.needPermissionShort")));
        behaviourBlock->setVisible(mode == QStringLiteral("click") && granted);
        behaviour->setSelected(m_model->clickModeBehavior());
        description->setText(localized(m_model->clickModeBehavior() == QStringLiteral("native")
                                           ? QStringLiteral("settings.interaction.clickDescNativeGranted")
                                           : QStringLiteral("settings.interaction.clickDescCustom")));
    });
    return section(QStringLiteral("hand.tap"), localized(QStringLiteral("settings.interaction")), card, nullptr);
}

QWidget *SettingsPanel::buildDock()
{
    auto *card = new SettingsCard;
    auto addSwitch = [&](const char *name, const QString &key, auto read, auto write) {
        auto *toggle = new SettingsSwitch;
        toggle->setObjectName(QString::fromLatin1(name));
        card->addRow(makeSettingsToggleRow(localized(key), toggle, card));
        connect(toggle, &QAbstractButton::toggled, m_model, write);
        m_refreshers.append([this, toggle, read] { toggle->setOn((m_model->*read)()); });
    };
    addSwitch("autoSync", QStringLiteral("settings.autoSync"), &SettingsModel::autoSyncEnabled, &SettingsModel::setAutoSyncEnabled);
    addSwitch("autoRefreshDockLabel", QStringLiteral("settings.autoRefreshDockLabel"), &SettingsModel::autoRefreshDockLabel,
              &SettingsModel::setAutoRefreshDockLabel);
    addSwitch("autoUpdate", QStringLiteral("settings.autoUpdate"), &SettingsModel::automaticallyChecksForUpdates,
              &SettingsModel::setAutomaticallyChecksForUpdates);
    // The Dock's own name reads the same in every language.
    return section(QStringLiteral("dock.rectangle"), QStringLiteral("Dock"), card, nullptr);
}

QWidget *SettingsPanel::buildAbout()
{
    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto *card = new SettingsCard(body);
    auto addFact = [&](const char *name, const QString &key, std::function<QString()> value) {
        auto *row = new QWidget(card);
        auto *rowLayout = ::rowLayout(row, 6);
        rowLayout->addWidget(new TokenLabel(localized(key), AppColors::text2, SystemFont::font(13), row), 1);
        auto *shown = new TokenLabel(QString(), AppColors::text1, SystemFont::font(13, QFont::Medium), row);
        shown->setObjectName(QString::fromLatin1(name));
        rowLayout->addWidget(shown);
        card->addRow(row);
        m_refreshers.append([shown, value] { shown->setText(value()); });
    };
    addFact("version", QStringLiteral("settings.version"), [this] { return m_model->version(); });
    addFact("dockPosition", QStringLiteral("settings.dockPosition"), [this] { return m_model->dockPositionText(); });
    addFact("dockAutoHide", QStringLiteral("settings.dockAutoHide"), [this] { return m_model->dockAutoHideText(); });
    layout->addWidget(card);

    if (m_model->canCheckForUpdates()) {
        auto *check = pillButton(QStringLiteral("arrow.triangle.2.circlepath"), 11, localized(QStringLiteral("menu.checkForUpdates")),
                                 AppColors::text2, body);
        check->setObjectName(QStringLiteral("checkForUpdates"));
        new PillBackground(check, AppColors::bgHover, std::nullopt);
        connect(check, &QAbstractButton::clicked, m_model, &SettingsModel::checkForUpdates);
        layout->addWidget(check, 0, Qt::AlignLeft);
    }

    auto *project = new QWidget(body);
    auto *projectLayout = new QHBoxLayout(project);
    projectLayout->setContentsMargins(0, 2, 0, 0);
    projectLayout->setSpacing(6);
    projectLayout->addStretch(1);
    projectLayout->addWidget(new TokenLabel(localized(QStringLiteral("settings.projectBy")), AppColors::text3, SystemFont::font(13), project));
    auto *link = new PointerPlainButton(project);
    link->setObjectName(QStringLiteral("makerLink"));
    link->setContent(new TokenLabel(makerName, AppColors::accent, SystemFont::font(13, QFont::DemiBold), link));
    link->setAccessibleName(makerName);
    link->setToolTip(makerPage().toString());
    // Opened as every other address is, so that the browser starts as the user's own application.
    connect(link, &QAbstractButton::clicked, this, [] { WorkspaceOpener::shared().open(makerPage(), std::nullopt, true); });
    projectLayout->addWidget(link);
    projectLayout->addStretch(1);
    layout->addWidget(project);
    return section(QStringLiteral("info.circle"), localized(QStringLiteral("settings.about")), body, nullptr);
}

QWidget *SettingsPanel::buildReset()
{
    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *button = pillButton(QStringLiteral("arrow.counterclockwise"), 13, localized(QStringLiteral("settings.resetAll")),
                              AppColors::danger, body);
    button->setObjectName(QStringLiteral("resetAll"));
    new PillBackground(button, AppColors::danger, AppColors::danger, 0.06, 0.2);
    connect(button, &QAbstractButton::clicked, this, &SettingsPanel::requestResetAll);
    layout->addWidget(button, 0, Qt::AlignLeft);
    auto *description = new TokenLabel(localized(QStringLiteral("settings.resetAll.description")), AppColors::text3,
                                       SystemFont::font(11), body);
    description->setWordWrap(true);
    layout->addWidget(description);
    // One reset at a time: the button waits while one runs.
    m_refreshers.append([this, button] { button->setEnabled(!m_model->reset().isRunning()); });
    return section(QStringLiteral("arrow.counterclockwise"), localized(QStringLiteral("settings.reset")), body, nullptr);
}

void SettingsPanel::requestResetAll()
{
    if (m_confirmation || m_model->reset().isRunning())
        return;
    m_confirmation = new ConfirmationAlert(localized(QStringLiteral("settings.restartOnboarding")),
                                           localized(QStringLiteral("settings.restartOnboarding.warning")),
                                           localized(QStringLiteral("settings.restartOnboarding.confirm")), window(),
                                           // Every group goes at once and nothing brings them back.
                                           ConfirmationAlert::ReturnGives::Cancel);
    m_confirmation->setObjectName(QStringLiteral("resetConfirmation"));
    connect(m_confirmation, &ConfirmationAlert::confirmed, &m_model->reset(), &SettingsReset::start);
    presentAboveWindow(m_confirmation);
}

void SettingsPanel::resetFinished(int keptGroups)
{
    if (keptGroups == 0 || m_report)
        return;
    m_report = new QMessageBox(QMessageBox::Warning, localized(QStringLiteral("settings.resetAll")),
                               localized(QStringLiteral("settings.resetAll.dockBlocked")), QMessageBox::Ok, window());
    m_report->setObjectName(QStringLiteral("resetReport"));
    m_report->setWindowModality(Qt::WindowModal);
    m_report->setAttribute(Qt::WA_DeleteOnClose);
    presentAboveWindow(m_report);
}
