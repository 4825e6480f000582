// What the program reads from the Dock's socket: answers, notifications, tap events and copies of
// the Dock's tree, each decoded as the program's adapters decode them. Nothing is rounded into an
// integer it does not fit, and a tree that decodes is one the Dock could have sent.
#include "Platform/dockstandin/wire/DockTree.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/linux/DockSocketLink.h"
#include "fuzz/FuzzSupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    DockWire::FrameReader reader;
    reader.append(FuzzSupport::bytes(data, size));
    while (const std::optional<QCborMap> message = reader.next()) {
        (void)dockAnswerError(message);
        (void)dockProcessIdentifierOf(message);
        (void)DockWire::decodeValue(message->value(QStringLiteral("value")));
        (void)DockWire::decodeEvent(message->value(QStringLiteral("ev")));
        (void)DockTree::decodeSelection(message->value(QStringLiteral("sel")));
        if (const std::optional<DockTree> tree = DockTree::decodeLayout(message->value(QStringLiteral("layout")).toMap())) {
            for (const AccessibleTile &tile : tree->tiles()) {
                if (tile.identifier < DockWire::firstTileIdentifier || !std::isfinite(tile.frame.x())
                    || !std::isfinite(tile.frame.width()) || tree->tile(tile.identifier) == nullptr)
                    __builtin_trap();
                QVariant value;
                (void)tree->attribute(tile.identifier, QStringLiteral("AXURL"), &value, 1);
            }
            (void)tree->tileAt(QPointF(10, 10));
            if (DockTree::decodeLayout(tree->encodeLayout()).has_value() == false)
                __builtin_trap();
        }
    }
    return 0;
}
