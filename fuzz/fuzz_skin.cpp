// A skin's "skin.json".
#include "Kestrowan/icons/SkinDefinition.h"
#include "fuzz/FuzzSupport.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    if (const std::optional<SkinDefinition> skin = SkinDefinition::decode(FuzzSupport::bytes(data, size))) {
        (void)skin->packageProblem(skin->id);
        (void)SkinDefinition::decode(QJsonDocument(skin->toJson()).toJson());
    }
    return 0;
}
