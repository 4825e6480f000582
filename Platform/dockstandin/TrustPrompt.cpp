#include "Platform/dockstandin/TrustPrompt.h"

#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/logging/LoggedText.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

Q_LOGGING_CATEGORY(promptLog, "com.kestrowan.dock.trust")

} // namespace

TrustPrompt::TrustPrompt(const QString &executable)
    : m_executable(executable)
{
    setWindowTitle(QStringLiteral("Accessibility Access"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    auto *text = new QLabel(QStringLiteral("“%1” would like to control this computer using accessibility features.\n\n"
                                           "It would see the Dock's tiles and the pointer, and could hold back or "
                                           "send pointer events.")
                                .arg(QFileInfo(executable).fileName()));
    text->setWordWrap(true);
    layout->addWidget(text);
    auto *path = new QLabel(executable);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(path);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *deny = buttons->addButton(QStringLiteral("&Deny"), QDialogButtonBox::RejectRole);
    buttons->addButton(QStringLiteral("&Allow"), QDialogButtonBox::AcceptRole);
    deny->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, [this] {
        if (!TrustStore::grant(m_executable))
            qCWarning(promptLog, "Could not record the grant for %s in %s", qPrintable(loggedText(m_executable)),
                      qPrintable(TrustStore::filePath()));
    });
}
