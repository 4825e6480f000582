#include "Kestrowan/shell/DialogPresentation.h"

#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QPointer>

namespace {

void bringForward(QDialog *dialog)
{
    dialog->raise();
    dialog->activateWindow();
}

// Raises and activates the dialog once more when it is first exposed.
class RaiseWhenShown final : public QObject {
public:
    explicit RaiseWhenShown(QDialog *dialog) : QObject(dialog), m_dialog(dialog) { dialog->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && (event->type() == QEvent::Show || event->type() == QEvent::Expose)) {
            QPointer<QDialog> dialog = m_dialog;
            QMetaObject::invokeMethod(
                dialog,
                [dialog] {
                    if (dialog && dialog->isVisible())
                        bringForward(dialog);
                },
                Qt::QueuedConnection);
            if (event->type() == QEvent::Expose)
                deleteLater();
        }
        return false;
    }

private:
    QDialog *m_dialog;
};

} // namespace

void presentAboveWindow(QDialog *dialog)
{
    if (dialog->parentWidget())
        dialog->setWindowModality(Qt::WindowModal);
    new RaiseWhenShown(dialog);
    // Once answered, the keyboard goes back to the window the dialog stood over.
    if (QWidget *parent = dialog->parentWidget()) {
        QPointer<QWidget> window = parent->window();
        QObject::connect(dialog, &QDialog::finished, window, [window] {
            if (window && window->isVisible())
                window->activateWindow();
        });
    }
    dialog->open();
    bringForward(dialog);
}

void useOwnFileDialog(QFileDialog *panel)
{
    panel->setOption(QFileDialog::DontUseNativeDialog);
}
