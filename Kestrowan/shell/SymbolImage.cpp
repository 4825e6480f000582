#include "Kestrowan/shell/SymbolImage.h"

#include "Kestrowan/shell/ResourceBundle.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <memory>

namespace {

struct Drawing {
    QByteArray source;
    QSizeF viewBox;
};

// Drawings are read once per folder and name; names we have no drawing for are remembered too.
std::optional<Drawing> cachedDrawing(const QString &folder, const QString &name)
{
    static QMutex mutex;
    static QHash<QString, std::optional<Drawing>> drawings;
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".svg");
    QMutexLocker lock(&mutex);
    auto found = drawings.constFind(path);
    if (found != drawings.constEnd())
        return *found;
    std::optional<Drawing> drawing;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray source = file.readAll();
        QSvgRenderer renderer(source);
        const QSizeF box = renderer.viewBoxF().size();
        if (renderer.isValid() && box.width() > 0 && box.height() > 0)
            drawing = Drawing{source, box};
    }
    drawings.insert(path, drawing);
    return drawing;
}

qreal strokeFactor(SymbolImage::Weight weight)
{
    switch (weight) {
    case SymbolImage::Weight::Regular: return 1.0;
    case SymbolImage::Weight::Medium: return 1.18;
    case SymbolImage::Weight::Semibold: return 1.36;
    case SymbolImage::Weight::Bold: return 1.6;
    }
    return 1.0;
}

} // namespace

QString SymbolImage::symbolsFolder()
{
    return ResourceBundle::packaged().path() + QStringLiteral("/symbols");
}

std::optional<SymbolImage> SymbolImage::named(const QString &name)
{
    static const QRegularExpression plainName(QStringLiteral("^[a-z0-9]+(\\.[a-z0-9]+)*$"));
    if (!plainName.match(name).hasMatch())
        return std::nullopt;
    const std::optional<Drawing> drawing = cachedDrawing(symbolsFolder(), name);
    if (!drawing)
        return std::nullopt;
    SymbolImage symbol;
    symbol.m_name = name;
    symbol.m_source = drawing->source;
    symbol.m_viewBox = drawing->viewBox;
    return symbol;
}

SymbolImage SymbolImage::configured(qreal pointSize, Weight weight, const QColor &color) const
{
    SymbolImage copy = *this;
    copy.m_pointSize = pointSize;
    copy.m_weight = weight;
    copy.m_color = color;
    return copy;
}

QSizeF SymbolImage::size() const
{
    return m_viewBox * (m_pointSize / 100.0);
}

QByteArray SymbolImage::document() const
{
    QString text = QString::fromUtf8(m_source);
    text.replace(QStringLiteral("#000000"), m_color.name(QColor::HexRgb), Qt::CaseInsensitive);
    const qreal factor = strokeFactor(m_weight);
    if (factor != 1.0) {
        static const QRegularExpression strokeWidth(QStringLiteral("stroke-width=\"([0-9.]+)\""));
        QString widened;
        qsizetype last = 0;
        for (auto it = strokeWidth.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            widened += QStringView(text).mid(last, m.capturedStart() - last);
            widened += QStringLiteral("stroke-width=\"%1\"").arg(m.captured(1).toDouble() * factor);
            last = m.capturedEnd();
        }
        widened += QStringView(text).mid(last);
        text = widened;
    }
    return text.toUtf8();
}

void SymbolImage::render(QPainter &painter, const QRectF &rect) const
{
    // Reading a drawing costs far more than drawing it, and a window draws the same few symbols,
    // in the same colours, on each repaint: the drawings read are kept, per thread (a renderer is
    // used by one thread at a time), a few dozen at most.
    thread_local QHash<QByteArray, std::shared_ptr<QSvgRenderer>> renderers;
    const QByteArray source = document();
    std::shared_ptr<QSvgRenderer> renderer = renderers.value(source);
    if (!renderer) {
        if (renderers.size() >= 64)
            renderers.clear();
        renderer = std::make_shared<QSvgRenderer>(source);
        renderers.insert(source, renderer);
    }
    if (!renderer->isValid())
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * m_color.alphaF());
    renderer->render(&painter, rect);
    painter.restore();
}

QImage SymbolImage::toImage(qreal pixelsPerPoint) const
{
    const QSizeF points = size();
    QImage image((points * pixelsPerPoint).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        render(p, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    image.setDevicePixelRatio(pixelsPerPoint);
    return image;
}
