#include "tests/standin/DockPreferencesWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <plist/plist.h>

#include <cstdlib>

namespace {

plist_t tile(const QString &path, bool folder, bool withBundleIdentifier = false)
{
    plist_t fileData = plist_new_dict();
    // The platform writes folder URLs with a trailing slash.
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + (folder ? QStringLiteral("/") : QString());
    plist_dict_set_item(fileData, "_CFURLString", plist_new_string(url.toUtf8().constData()));
    plist_dict_set_item(fileData, "_CFURLStringType", plist_new_uint(15));
    plist_t data = plist_new_dict();
    plist_dict_set_item(data, "file-data", fileData);
    plist_dict_set_item(data, "file-label", plist_new_string(QFileInfo(path).completeBaseName().toUtf8().constData()));
    if (withBundleIdentifier)
        plist_dict_set_item(data, "bundle-identifier", plist_new_string(QFileInfo(path).completeBaseName().toUtf8().constData()));
    if (folder) {
        plist_dict_set_item(data, "file-type", plist_new_uint(2));
        plist_dict_set_item(data, "displayas", plist_new_uint(1));
        plist_dict_set_item(data, "showas", plist_new_uint(2));
    }
    plist_t result = plist_new_dict();
    plist_dict_set_item(result, "tile-data", data);
    plist_dict_set_item(result, "tile-type", plist_new_string(folder ? "directory-tile" : "file-tile"));
    return result;
}

plist_t readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = file.readAll();
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    return root;
}

} // namespace

void writeDockPreferences(const QString &path, const QString &orientation, bool autohide,
                          const QStringList &applications, const QStringList &folders, bool withBundleIdentifiers)
{
    plist_t root = plist_new_dict();
    plist_t apps = plist_new_array();
    for (const QString &application : applications)
        plist_array_append_item(apps, tile(application, false, withBundleIdentifiers));
    plist_t others = plist_new_array();
    for (const QString &folder : folders)
        plist_array_append_item(others, tile(folder, true));
    plist_dict_set_item(root, "persistent-apps", apps);
    plist_dict_set_item(root, "persistent-others", others);
    plist_dict_set_item(root, "orientation", plist_new_string(orientation.toUtf8().constData()));
    plist_dict_set_item(root, "autohide", plist_new_bool(autohide));
    plist_dict_set_item(root, "mod-count", plist_new_uint(7));
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes, length);
    std::free(bytes);
}

int dockPreferencesCount(const QString &path, const char *key)
{
    plist_t root = readFile(path);
    plist_t array = root ? plist_dict_get_item(root, key) : nullptr;
    const int count = array && plist_get_node_type(array) == PLIST_ARRAY ? int(plist_array_get_size(array)) : -1;
    if (root)
        plist_free(root);
    return count;
}

bool dockPreferencesHasKey(const QString &path, const char *key)
{
    plist_t root = readFile(path);
    const bool has = root && plist_get_node_type(root) == PLIST_DICT && plist_dict_get_item(root, key);
    if (root)
        plist_free(root);
    return has;
}
