// The property-list reader, a write of one key into what it read, and the settings writer's edit of
// what it read in its own form.
#include "Platform/PropertyList.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    const std::optional<QVariant> root = PropertyList::parse(bytes);
    if (root && root->typeId() == QMetaType::QVariantMap) {
        // Writing back what was read (one key set again, or a new one into an empty dictionary) must
        // give a file that reads as the same values.
        QVariantMap expected = root->toMap();
        const QString key = expected.isEmpty() ? QStringLiteral("k") : expected.firstKey();
        const QVariant value = expected.isEmpty() ? QVariant(true) : expected.value(key);
        expected.insert(key, value);
        if (const std::optional<QByteArray> written = PropertyList::withKeyReplaced(bytes, key, value)) {
            const std::optional<QVariant> again = PropertyList::parse(*written);
            if (!again || !PropertyList::sameValue(*again, expected))
                __builtin_trap();
        }
        // A setting written and another taken out: the edit follows any file it was given, and what
        // it gives back reads (it checks the values itself).
        QVariantMap changes{{QStringLiteral("mine"), true}};
        if (!root->toMap().isEmpty())
            changes.insert(root->toMap().lastKey(), QVariant());
        if (const std::optional<QByteArray> edited = PropertyList::withTopLevelChanges(bytes, changes)) {
            if (!PropertyList::parse(*edited))
                __builtin_trap();
        }
    }
    return 0;
}
