#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One slot for an item icon on a skin's canvas. Decoded and checked, never used for drawing.
struct IconSlot {
    qint64 id = 0;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double cornerRadius = 0;
    double padding = 0;

    friend bool operator==(const IconSlot &, const IconSlot &) = default;
};

// Descriptive data of a skin; every field may be missing.
struct SkinMetadata {
    std::optional<QString> author;
    std::optional<QString> description;
    std::optional<QStringList> tags;
    std::optional<QString> previewImage;

    friend bool operator==(const SkinMetadata &, const SkinMetadata &) = default;
};

// One image of a skin, drawn over the whole canvas in the pass its zOrder names.
struct SkinLayer {
    // Drawing order of the passes: background, then midground, then foreground.
    enum class ZOrder { Background, Midground, Foreground };
    // Decoded and checked, but every layer is drawn source-over.
    enum class LayerBlendMode { Normal, Multiply, Screen, Overlay };

    QString imageName;
    ZOrder zOrder = ZOrder::Background;
    double opacity = 1.0;
    LayerBlendMode blendMode = LayerBlendMode::Normal;

    friend bool operator==(const SkinLayer &, const SkinLayer &) = default;
};

// A skin package as described by its "skin.json": a stack of full-canvas images that a group icon is
// drawn from, with the item tiles between the midground and the foreground.
struct SkinDefinition {
    // Canvas sides a skin may ask for; anything outside would be useless or cost far too much memory.
    static constexpr qint64 kMinimumCanvasSize = 16;
    static constexpr qint64 kMaximumCanvasSize = 2048;

    QString id;
    QString name;
    qint64 version = 0;
    qint64 canvasSize = 0;
    QList<SkinLayer> layers;
    QList<IconSlot> iconSlots; // "slots" in the file
    std::optional<SkinMetadata> metadata;

    // Decodes the bytes of a "skin.json" strictly; any deviation from the format fails the whole
    // skin. `error` receives a short reason.
    static std::optional<SkinDefinition> decode(const QByteArray &json, QString *error = nullptr);
    QJsonObject toJson() const;

    // The skin's name in the user's language, or `name` when the tables have none.
    QString localizedSkinName() const;

    // Why this skin cannot be used from the folder `folderName`, or nothing when it can: its id must
    // be that folder's name, every layer image must lie inside the folder, and its canvas must be of
    // a sane size.
    std::optional<QString> packageProblem(const QString &folderName) const;
    bool hasUsableCanvas() const;
    static bool isSafeImageName(const QString &imageName);

    friend bool operator==(const SkinDefinition &, const SkinDefinition &) = default;
};

QString zOrderRawValue(SkinLayer::ZOrder order);
QString blendModeRawValue(SkinLayer::LayerBlendMode mode);
