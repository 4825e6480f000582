#include "Kestrowan/icons/ItemPreview.h"

#include "Kestrowan/icons/PointCanvas.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/InlinePainting.h"
#include "Kestrowan/icons/StampedCache.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Platform/SeenPaths.h"

#include <QFontDatabase>
#include <QHash>
#include <QSet>

#include <mutex>

namespace {

QColor srgb(int r, int g, int b, qreal alpha = 1.0)
{
    return QColor::fromRgbF(float(r / 255.0), float(g / 255.0), float(b / 255.0), float(alpha));
}

const QColor &previewCardFill()
{
    static const QColor c = srgb(247, 243, 238);
    return c;
}
const QColor &previewCardStroke()
{
    static const QColor c = srgb(217, 209, 200, 0.85);
    return c;
}
const QColor &previewFrameStroke()
{
    static const QColor c = srgb(255, 255, 255, 0.68);
    return c;
}
const QColor &previewCardShadow()
{
    static const QColor c = srgb(26, 18, 10, 0.1);
    return c;
}
const QColor &previewInk()
{
    static const QColor c = srgb(68, 59, 50);
    return c;
}
const QColor &previewLabelText()
{
    static const QColor c = srgb(116, 104, 93);
    return c;
}
const QColor &previewLinkBlue()
{
    static const QColor c = srgb(45, 108, 223);
    return c;
}
const QColor &previewLabelFill()
{
    static const QColor c = srgb(238, 231, 222);
    return c;
}

// The card every photo and badge is drawn on.
const QRectF kCard(14, 10, 100, 108);
constexpr qreal kCardRadius = 23;

QFont systemFont(qreal pointSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

// Draws `text` vertically centred on `box`, half a point high, as the label capsules want it.
void drawCentredLabel(PointCanvas &canvas, const QString &text, const QFont &font, const QColor &color, const QRectF &box)
{
    const qreal h = canvas.textHeight(font);
    canvas.drawText(text, font, color, QRectF(box.left(), box.center().y() - h / 2 - 0.5, box.width(), h + 1));
}

} // namespace

bool ItemPreview::isPreviewImageExtension(const QString &ext)
{
    static const QSet<QString> set{QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif"),
                                   QStringLiteral("webp"), QStringLiteral("heic"), QStringLiteral("tiff"), QStringLiteral("bmp")};
    return set.contains(ext);
}

bool ItemPreview::isPreviewPDFExtension(const QString &ext)
{
    return ext == QLatin1String("pdf");
}

bool ItemPreview::isPreviewVideoExtension(const QString &ext)
{
    static const QSet<QString> set{QStringLiteral("mp4"), QStringLiteral("mov"),  QStringLiteral("avi"),
                                   QStringLiteral("mkv"), QStringLiteral("webm"), QStringLiteral("m4v")};
    return set.contains(ext);
}

QString ItemPreview::pathExtension(const QString &path)
{
    QStringView rest(path);
    while (rest.size() > 1 && rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    const qsizetype slash = rest.lastIndexOf(QLatin1Char('/'));
    const QStringView component = rest.mid(slash + 1);
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    // A name that begins with its only dot (".config") is hidden, not of a type.
    if (dot <= 0)
        return {};
    return component.mid(dot + 1).toString().toLower();
}

QString ItemPreview::badgeSymbolName(const QString &ext, AppItem::Kind kind)
{
    if (kind == AppItem::Kind::Folder)
        return QStringLiteral("folder.fill");
    if (kind == AppItem::Kind::Link)
        return QStringLiteral("link");
    struct Group {
        QSet<QString> extensions;
        QString symbol;
    };
    static const QList<Group> groups{
        {{"md", "txt", "rtf"}, QStringLiteral("doc.text.fill")},
        {{"pdf"}, QStringLiteral("doc.richtext.fill")},
        {{"png", "jpg", "jpeg", "gif", "webp", "svg", "heic"}, QStringLiteral("photo.fill")},
        {{"mp4", "mov", "avi", "mkv"}, QStringLiteral("film.fill")},
        {{"mp3", "wav", "aac", "flac"}, QStringLiteral("music.note")},
        {{"zip", "tar", "gz", "rar"}, QStringLiteral("archivebox.fill")},
        {{"html", "css", "js", "ts", "json", "xml"}, QStringLiteral("chevron.left.forwardslash.chevron.right")},
        {{"swift", "py", "rb", "go", "rs", "c", "cpp"}, QStringLiteral("curlybraces")},
    };
    for (const Group &group : groups) {
        if (group.extensions.contains(ext))
            return group.symbol;
    }
    return QStringLiteral("doc.fill");
}

ItemPreview::BadgePalette ItemPreview::badgePalette(AppItem::Kind kind)
{
    switch (kind) {
    case AppItem::Kind::Folder:
        return {srgb(244, 228, 188), srgb(214, 190, 132, 0.88), srgb(123, 90, 30), srgb(231, 212, 162), srgb(111, 83, 29)};
    case AppItem::Kind::Link:
        return {srgb(238, 245, 255), srgb(199, 217, 247, 0.92), previewLinkBlue(), srgb(220, 234, 255), srgb(53, 94, 175)};
    case AppItem::Kind::App:
    case AppItem::Kind::File:
        break;
    }
    return {previewCardFill(), previewCardStroke(), previewInk(), previewLabelFill(), previewLabelText()};
}

namespace {

// A preview depends on the kind, the path and what is at the path; icons are recomposed on every
// sync and every style choice, so a preview is decoded and drawn once per state of its file.
// About 48 previews of 256 by 256 pixels: 12 MB.
StampedCache<QImage> &drawnPreviews()
{
    static StampedCache<QImage> drawn(48);
    return drawn;
}

QString previewKey(const AppItem &item, AppItem::Kind kind)
{
    return QString::number(int(kind)) + u':' + item.path;
}

// The preview of an item other than an application, of `kind`, whose file is in the state `stamp`;
// its picture is asked for as `seen` tells of the file, or by looking at the file without it.
QImage drawnPreview(const AppItem &item, AppItem::Kind kind, const FileStamp &stamp, const std::optional<SeenPaths::Seen> &seen)
{
    const QString ext = ItemPreview::pathExtension(item.path);
    const QString key = previewKey(item, kind);
    if (std::optional<QImage> cached = drawnPreviews().find(key, stamp))
        return *cached;
    // The picture of a document is decoded out of the program; until it is in, the badge stands
    // in for the preview and is not kept. A web address has no file to decode.
    QImage preview;
    if (const std::optional<PreviewPictures::Kind> content = PreviewPictures::kindForExtension(ext);
        content && kind != AppItem::Kind::Link) {
        PreviewPictures *pictures = PreviewPictures::shared();
        PreviewPictures::Lookup found;
        if (pictures)
            found = seen ? pictures->lookupSeen(*content, item.path, seen->stamp, seen->isFile) : pictures->lookup(*content, item.path);
        if (found.state == PreviewPictures::State::Pending)
            return ItemPreview::drawFileTypeBadge(ext, kind);
        if (found.state == PreviewPictures::State::Ready)
            paintInline([&] { preview = ItemPreview::drawPhotoCard(found.picture, ext); });
    }
    if (preview.isNull())
        preview = ItemPreview::drawFileTypeBadge(ext, kind);
    drawnPreviews().insert(key, stamp, preview);
    return preview;
}

} // namespace

std::optional<QImage> drawnItemThumbnail(const AppItem &item)
{
    const AppItem::Kind kind = item.itemKind();
    if (kind == AppItem::Kind::App)
        return std::nullopt;
    return drawnPreviews().find(previewKey(item, kind), FileStamp::of(item.path));
}

QImage itemThumbnail(const AppItem &item)
{
    const AppItem::Kind kind = item.itemKind();
    if (kind == AppItem::Kind::App)
        return ItemPreview::drawAppIconPreview(item.itemIcon(), ItemPreview::kSide);
    return drawnPreview(item, kind, FileStamp::of(item.path), std::nullopt);
}

KeptItemThumbnail keptItemThumbnail(const AppItem &item)
{
    if (item.isApplication())
        return {itemThumbnail(item), std::nullopt};
    if (!item.itemURL().isLocalFile())
        return {drawnPreview(item, AppItem::Kind::Link, FileStamp{}, SeenPaths::Seen{}), std::nullopt};
    const std::optional<SeenPaths::Seen> seen = SeenPaths::kept(item.path);
    if (!seen)
        return {ItemPreview::drawFileTypeBadge(ItemPreview::pathExtension(item.path), AppItem::Kind::File), item.path};
    return {drawnPreview(item, seen->isDir ? AppItem::Kind::Folder : AppItem::Kind::File, seen->stamp, seen), item.path};
}

int ItemPreview::appIconPixels(qreal side)
{
    return qCeil(0.9 * side * kPixelsPerPoint);
}

QImage ItemPreview::drawAppIconPreview(const QIcon &icon, qreal side)
{
    PointCanvas canvas(QSizeF(side, side), kPixelsPerPoint);
    const QRectF q(0.05 * side, 0.05 * side, 0.9 * side, 0.9 * side);
    const int pixels = appIconPixels(side);
    const QImage bitmap = icon.isNull() ? QImage() : icon.pixmap(QSize(pixels, pixels)).toImage();
    if (!bitmap.isNull() && bitmap.width() > 0 && bitmap.height() > 0) {
        const qreal a = qreal(bitmap.width()) / bitmap.height();
        QRectF target;
        if (q.width() / q.height() < a)
            target = QRectF(q.left(), q.center().y() - q.width() / a / 2, q.width(), q.width() / a);
        else
            target = QRectF(q.center().x() - a * q.height() / 2, q.top(), a * q.height(), q.height());
        canvas.save();
        canvas.clipToPath(PointCanvas::roundedRect(q, 0.2 * side));
        canvas.drawImage(bitmap, target);
        canvas.restore();
    }
    return canvas.takeImage();
}

void ItemPreview::drawCardShadow(PointCanvas &canvas, const QRectF &card, qreal radius)
{
    canvas.save();
    canvas.setShadow(QPointF(0, -4), 12, previewCardShadow());
    canvas.fillPath(PointCanvas::roundedRect(card, radius), QColor::fromRgbF(1, 1, 1, 0.98f));
    canvas.restore();
}

QImage ItemPreview::shadowedCard()
{
    // Every photo card and badge starts with the same shadowed card, the dearest part of either: it
    // is drawn once and each preview starts from a copy.
    static const QImage card = [] {
        PointCanvas canvas(QSizeF(kSide, kSide), kPixelsPerPoint);
        drawCardShadow(canvas, kCard, kCardRadius);
        return canvas.takeImage();
    }();
    return card;
}

void ItemPreview::drawCardHighlight(PointCanvas &canvas, const QRectF &card, qreal radius)
{
    canvas.strokePath(PointCanvas::roundedRect(card.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1.5), QColor::fromRgbF(1, 1, 1, 0.7f), 1);
}

void ItemPreview::drawExtensionLabel(PointCanvas &canvas, const QString &text, const QRectF &rect)
{
    canvas.fillPath(PointCanvas::roundedRect(rect, rect.height() / 2), previewLabelFill());
    drawCentredLabel(canvas, text, systemFont(8.5, QFont::Bold), previewLabelText(), rect);
}

namespace {

// Where a photo card shows its picture, in points: the picture covers it, its aspect kept.
const QRectF kPhotoWell(20, 24, 88, 88);

std::optional<QRectF> photoTarget(const QImage &picture)
{
    if (picture.isNull() || picture.height() <= 0)
        return std::nullopt;
    const QRectF &well = kPhotoWell;
    const qreal a = qreal(picture.width()) / picture.height();
    if (well.width() / well.height() < a)
        return QRectF(well.center().x() - a * well.height() / 2, well.top(), a * well.height(), well.height());
    return QRectF(well.left(), well.center().y() - well.width() / a / 2, well.width(), well.width() / a);
}

} // namespace

QImage ItemPreview::photoCardPicture(const QImage &picture)
{
    const std::optional<QRectF> target = photoTarget(picture);
    return target ? PointCanvas::shrunkForRect(picture, QSizeF(kSide, kSide), kPixelsPerPoint, *target) : picture;
}

QImage ItemPreview::drawPhotoCard(const QImage &picture, const QString &ext)
{
    // Everything under the picture is the same on every photo card.
    static const QImage blankCard = [] {
        PointCanvas canvas(shadowedCard(), QSizeF(kSide, kSide), kPixelsPerPoint);
        const QPainterPath card = PointCanvas::roundedRect(kCard, kCardRadius);
        canvas.fillPath(card, previewCardFill());
        canvas.strokePath(card, previewCardStroke(), 1);
        return canvas.takeImage();
    }();
    PointCanvas canvas(blankCard, QSizeF(kSide, kSide), kPixelsPerPoint);

    const QPainterPath wellPath = PointCanvas::roundedRect(kPhotoWell, 18);
    if (const std::optional<QRectF> target = photoTarget(picture)) {
        canvas.save();
        canvas.clipToPath(wellPath);
        canvas.drawImage(picture, *target);
        canvas.restore();
    }
    canvas.strokePath(wellPath, previewFrameStroke(), 1);
    drawExtensionLabel(canvas, ext.toUpper(), QRectF(24, 15, 34, 14));
    return canvas.takeImage();
}

QImage ItemPreview::drawFileTypeBadge(const QString &ext, AppItem::Kind kind)
{
    // The badge is made of the kind and the extension alone, and its card shadow is the dear part:
    // a group of a hundred documents over a few extensions draws each one once. Few kinds of
    // extension occur at once; the cache starts afresh past a limit.
    static std::mutex mutex;
    static QHash<QString, QImage> badges;
    const QString key = QString::number(int(kind)) + u':' + ext;
    {
        const std::lock_guard lock(mutex);
        if (const auto found = badges.constFind(key); found != badges.cend())
            return *found;
    }
    const QImage badge = paintFileTypeBadge(ext, kind);
    const std::lock_guard lock(mutex);
    if (badges.size() >= 256)
        badges.clear();
    badges.insert(key, badge);
    return badge;
}

QImage ItemPreview::paintFileTypeBadge(const QString &ext, AppItem::Kind kind)
{
    const BadgePalette palette = badgePalette(kind);
    PointCanvas canvas(shadowedCard(), QSizeF(kSide, kSide), kPixelsPerPoint);
    const QPainterPath card = PointCanvas::roundedRect(kCard, kCardRadius);
    canvas.fillPath(card, palette.cardFill);
    canvas.strokePath(card, palette.cardOutline, 1);
    drawCardHighlight(canvas, kCard, kCardRadius);

    const bool folder = kind == AppItem::Kind::Folder;
    const QRectF box(24, 24, 80, 80);
    const qreal m = std::min(box.width(), box.height());
    if (const auto symbol = SymbolImage::named(badgeSymbolName(ext, kind))) {
        const SymbolImage configured = symbol->configured(folder ? 0.52 * m : 0.44 * m,
                                                          folder ? SymbolImage::Weight::Medium : SymbolImage::Weight::Regular,
                                                          palette.symbol);
        const QSizeF size = configured.size();
        const qreal lift = folder ? 8 : 12;
        canvas.drawSymbol(configured, QRectF(box.center().x() - size.width() / 2, box.center().y() - size.height() / 2 + lift,
                                             size.width(), size.height()));
    }

    QString label;
    if (folder)
        label = QStringLiteral("Folder");
    else if (kind == AppItem::Kind::Link)
        label = QStringLiteral("Link");
    else
        label = ext.isEmpty() ? QStringLiteral("File") : ext.toUpper();
    const QRectF capsule(kCard.left() + 12, kCard.top() + 11, kCard.width() - 24, 18);
    canvas.fillPath(PointCanvas::roundedRect(capsule, 9), palette.labelFill);
    drawCentredLabel(canvas, label, systemFont(10, QFont::DemiBold), palette.labelText, capsule);
    return canvas.takeImage();
}
