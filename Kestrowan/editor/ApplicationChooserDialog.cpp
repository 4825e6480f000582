#include "Kestrowan/editor/ApplicationChooserDialog.h"

#include "Kestrowan/shell/DialogPresentation.h"
#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/OpenPanelColumns.h"
#include "Kestrowan/shell/SheetFit.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/NVLXList.h"
#include "NVLXDesign/NVLXTextField.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/ApplicationCatalog.h"
#include "Platform/Workspace.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSet>
#include <QVBoxLayout>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

constexpr int kRowHeight = 30;

QListWidgetItem *sectionTitle(const QString &text, const QWidget *list)
{
    auto *item = new QListWidgetItem(text);
    item->setFlags(Qt::NoItemFlags);
    item->setFont(SystemFont::font(11, QFont::DemiBold));
    item->setForeground(AppColors::text3.resolve(list));
    item->setSizeHint(QSize(0, kRowHeight - 4));
    return item;
}

} // namespace

ApplicationChooserDialog::ApplicationChooserDialog(const QString &forWhat, const QString &extension, QWidget *parent)
    : QDialog(parent), m_extension(extension)
{
    setWindowTitle(localized(QStringLiteral("appChooser.title")));
    // The applications' icons are decoded out of the program; each row draws its own once it is in.
    ApplicationIcon::followArrivals(this, [this] {
        if (m_list)
            m_list->viewport()->update();
    });
    setWindowModality(Qt::WindowModal);
    // Inside a small main window it shrinks with it; its list scrolls.
    fitSheetToWindow(this, parent, QSize(420, 480), true);
    setMinimumSize(minimumSize().boundedTo(QSize(400, 460)));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(new TokenLabel(localized(QStringLiteral("appChooser.title")), AppColors::text1, SystemFont::font(15, QFont::DemiBold)));
    auto *subtitle = new TokenLabel(localized(QStringLiteral("appChooser.subtitle")).replace(QStringLiteral("%@"), forWhat),
                                    AppColors::text2, SystemFont::font(11));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);

    m_search = new NVLXTextField;
    m_search->setPlaceholderText(localized(QStringLiteral("appChooser.search")));
    m_search->setClearButtonEnabled(true);
    m_search->setFont(SystemFont::font(13));
    layout->addWidget(m_search);

    m_list = new NVLXList;
    m_list->setIconSize(QSize(20, 20));
    m_list->setProperty("keepsPictureColumn", true);
    m_list->setFont(SystemFont::font(13));
    m_list->setUniformItemSizes(false);
    layout->addWidget(m_list, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *other = new NVLXButton(NVLXButtonStyle::Ghost, localized(QStringLiteral("appChooser.other")));
    auto *cancel = new NVLXButton(NVLXButtonStyle::Secondary, localized(QStringLiteral("picker.cancel")));
    m_choose = new NVLXButton(NVLXButtonStyle::Primary, localized(QStringLiteral("appChooser.choose")));
    buttons->addWidget(other);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_choose);
    layout->addLayout(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &ApplicationChooserDialog::fill);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &ApplicationChooserDialog::chooseSelected);
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem *current) { m_choose->setEnabled(current && current->data(kPathRole).isValid()); });
    connect(m_choose, &QAbstractButton::clicked, this, &ApplicationChooserDialog::chooseSelected);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(other, &QAbstractButton::clicked, this, &ApplicationChooserDialog::chooseOther);
    fill(QString());
    m_search->setFocus();
}

void ApplicationChooserDialog::fill(const QString &filter)
{
    m_list->clear();
    const ApplicationCatalog &catalog = ApplicationCatalog::shared();
    const auto matches = [&](const ApplicationCatalog::Application &application) {
        return filter.isEmpty() || application.displayName.contains(filter, Qt::CaseInsensitive);
    };
    const auto add = [&](const ApplicationCatalog::Application &application) {
        auto *item = new QListWidgetItem(Workspace::shared().iconForFile(application.path), application.displayName);
        item->setSizeHint(QSize(0, kRowHeight));
        item->setData(kPathRole, application.path);
        item->setToolTip(application.path);
        m_list->addItem(item);
    };
    QSet<QString> suggestedPaths;
    QList<ApplicationCatalog::Application> suggested;
    for (const ApplicationCatalog::Application &application : catalog.applicationsOpening(m_extension)) {
        suggestedPaths.insert(application.path);
        if (matches(application))
            suggested.append(application);
    }
    QList<ApplicationCatalog::Application> others;
    for (const ApplicationCatalog::Application &application : catalog.allApplications()) {
        if (!suggestedPaths.contains(application.path) && matches(application))
            others.append(application);
    }
    if (!suggested.isEmpty()) {
        m_list->addItem(sectionTitle(localized(QStringLiteral("appChooser.suggested")), m_list));
        for (const auto &application : std::as_const(suggested))
            add(application);
    }
    if (!others.isEmpty()) {
        m_list->addItem(sectionTitle(localized(QStringLiteral("appChooser.all")), m_list));
        for (const auto &application : std::as_const(others))
            add(application);
    }
    if (suggested.isEmpty() && others.isEmpty())
        m_list->addItem(sectionTitle(localized(QStringLiteral("appChooser.empty")), m_list));
    // The best guess is ready to be chosen.
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(kPathRole).isValid()) {
            m_list->setCurrentRow(row);
            break;
        }
    }
    m_choose->setEnabled(m_list->currentItem() && m_list->currentItem()->data(kPathRole).isValid());
}

QStringList ApplicationChooserDialog::listedPaths() const
{
    QStringList paths;
    for (int row = 0; row < m_list->count(); ++row) {
        const QVariant path = m_list->item(row)->data(kPathRole);
        if (path.isValid())
            paths.append(path.toString());
    }
    return paths;
}

void ApplicationChooserDialog::chooseSelected()
{
    QListWidgetItem *item = m_list->currentItem();
    if (!item || !item->data(kPathRole).isValid())
        return;
    m_chosen = item->data(kPathRole).toString();
    accept();
}

void ApplicationChooserDialog::chooseOther()
{
    QFileDialog dialog(this, localized(QStringLiteral("appChooser.title")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("*.desktop *.app"));
    localizeOpenPanel(&dialog);
    keepOpenPanelColumnsWhole(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_chosen = dialog.selectedFiles().constFirst();
    accept();
}

OpenerRulesEditor::ApplicationChooser ApplicationChooserDialog::chooser(QWidget *parent)
{
    QPointer<QWidget> owner(parent);
    return [owner](const QString &forWhat, const QString &extension, std::function<void(const std::optional<QString> &)> done) {
        // Without an owner, over whichever window of the program is in front.
        QWidget *parent = owner ? owner.data() : QApplication::activeWindow();
        auto *dialog = new ApplicationChooserDialog(forWhat, extension, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int) { done(dialog->chosenPath()); });
        presentAboveWindow(dialog);
    };
}
