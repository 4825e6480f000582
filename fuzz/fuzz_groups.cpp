// The groups file.
#include "Kestrowan/groups/AppGroup.h"
#include "fuzz/FuzzSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QJsonDocument document = QJsonDocument::fromJson(FuzzSupport::bytes(data, size));
    if (const std::optional<QList<AppGroup>> groups = AppGroup::listFromJson(document.array())) {
        for (const AppGroup &group : *groups) {
            for (const AppItem &item : group.apps)
                (void)item.itemURL();
        }
    }
    return 0;
}
