#include "Kestrowan/shell/LookStyleSheet.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

class LookStyleSheetKeeper final : public QObject {
public:
    LookStyleSheetKeeper(QWidget *widget, QWidget *lookSource, std::function<QString()> build)
        : QObject(widget), m_widget(widget), m_lookSource(lookSource), m_build(std::move(build))
    {
        lookSource->installEventFilter(this);
        apply();
    }

    ~LookStyleSheetKeeper() override
    {
        if (m_lookSource)
            m_lookSource->removeEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_lookSource
            && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange
                || event->type() == QEvent::ParentChange)
            && !m_queued) {
            // Once the change has reached every widget: the colours are resolved from the
            // widgets around this one, which may hear of it after it does.
            m_queued = true;
            QMetaObject::invokeMethod(this, [this] {
                m_queued = false;
                apply();
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void apply()
    {
        // Setting the same sheet again would repolish the widget and change its palette once more.
        const QString sheet = m_build();
        if (sheet != m_widget->styleSheet())
            m_widget->setStyleSheet(sheet);
    }

    QWidget *m_widget;
    QPointer<QWidget> m_lookSource;
    std::function<QString()> m_build;
    bool m_queued = false;
};

} // namespace

void setLookStyleSheet(QWidget *widget, QWidget *lookSource, std::function<QString()> build)
{
    new LookStyleSheetKeeper(widget, lookSource, std::move(build));
}
