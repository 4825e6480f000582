// The floors the end-to-end figures stand beside: what Qt itself costs on the same X server.
//   window     a plain window of the main window's size
//   lineedit   a window with a line edit that has the keyboard
//   toolwindow a window that shows a new tool window when "t" is typed or the pointer enters it,
//              and closes it on Escape or when the pointer leaves
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

class ToolWindowHost : public QWidget {
public:
    ToolWindowHost() { setAttribute(Qt::WA_Hover); }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_T)
            open();
        else if (event->key() == Qt::Key_Escape)
            close();
    }
    void enterEvent(QEnterEvent *) override { open(); }
    void leaveEvent(QEvent *) override { close(); }

private:
    void open()
    {
        if (m_tool)
            return;
        m_tool = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint);
        m_tool->setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(m_tool);
        for (int i = 0; i < 8; ++i)
            layout->addWidget(new QLabel(QStringLiteral("Item %1").arg(i + 1), m_tool));
        m_tool->setGeometry(700, 200, 360, 480);
        m_tool->show();
    }
    void close()
    {
        if (m_tool)
            m_tool->close();
    }

    QPointer<QWidget> m_tool;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("window");
    std::unique_ptr<QWidget> window;
    if (mode == QLatin1String("lineedit")) {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        auto *edit = new QLineEdit(QStringLiteral("Studio"), window.get());
        layout->addWidget(edit);
        layout->addStretch();
        edit->setFocus();
    } else if (mode == QLatin1String("toolwindow")) {
        window = std::make_unique<ToolWindowHost>();
    } else {
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        layout->addWidget(new QLabel(QStringLiteral("A plain window"), window.get()));
    }
    window->setWindowTitle(QStringLiteral("Floor"));
    window->setGeometry(100, 100, mode == QLatin1String("toolwindow") ? 400 : 620, mode == QLatin1String("toolwindow") ? 300 : 540);
    window->show();
    window->activateWindow();
    return app.exec();
}
