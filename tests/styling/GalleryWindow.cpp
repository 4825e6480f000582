#include "tests/styling/GalleryWindow.h"

#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/SystemFont.h"
#include "tests/support/SettledIcons.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>

namespace {

class PaintedWidget : public QWidget {
public:
    PaintedWidget(const QSize &size, std::function<void(QPainter &, QWidget *)> paint, QWidget *parent)
        : QWidget(parent), m_paint(std::move(paint))
    {
        setFixedSize(size);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_paint(painter, this);
    }

private:
    std::function<void(QPainter &, QWidget *)> m_paint;
};

} // namespace

QPalette Gallery::palette(EffectiveAppearance appearance)
{
    QPalette palette;
    const QColor bg = AppColors::bg.resolve(appearance);
    const QColor text = AppColors::text1.resolve(appearance);
    palette.setColor(QPalette::Window, bg);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, AppColors::surface.resolve(appearance));
    palette.setColor(QPalette::AlternateBase, AppColors::bgBadge.resolve(appearance));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, AppColors::surface.resolve(appearance));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::PlaceholderText, AppColors::text3.resolve(appearance));
    palette.setColor(QPalette::Highlight, AppColors::accent.resolve(appearance));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

QWidget *Gallery::painted(const QSize &size, std::function<void(QPainter &, QWidget *)> paint, QWidget *parent)
{
    return new PaintedWidget(size, std::move(paint), parent);
}

QWidget *Gallery::caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(SystemFont::font(11, QFont::Medium));
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QString Gallery::appearanceName(EffectiveAppearance appearance)
{
    return appearance == EffectiveAppearance::Dark ? QStringLiteral("dark") : QStringLiteral("light");
}

QImage Gallery::save(QWidget *window, const QString &name, EffectiveAppearance appearance, const QString &language)
{
    window->setPalette(palette(appearance));
    window->setAutoFillBackground(true);
    window->adjustSize();
    window->show();
    QApplication::processEvents();
    settleDecodedIcons(window);
    const QImage image = window->grab().toImage();
    const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    const QString suffix = language.isEmpty() ? QString() : QLatin1Char('-') + language;
    image.save(folder + QLatin1Char('/') + name + QLatin1Char('-') + appearanceName(appearance) + suffix + QStringLiteral(".png"));
    return image;
}
