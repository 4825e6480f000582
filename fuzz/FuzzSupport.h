#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Every target defines the libFuzzer entry point; the replay program and libFuzzer both call it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace FuzzSupport {

// Once per process: a core application, a temporary home, and log output dropped (hostile input
// is expected to be logged about, thousands of times a second).
void initialise();

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A file of the process's temporary folder holding `bytes`; `name` gives its extension.
QString writeScratchFile(const QString &name, const QByteArray &bytes);

// A PNG file's chunks with their check sums made right, as far as their lengths hold: mutations of
// a PNG input then reach what is behind the checks.
void mendPngChecksums(QByteArray &file);

// The PNG file with a text chunk after its header that names 768 MB, the rest of the file its
// first bytes; empty when the bytes do not start like a PNG file. A reader must give no picture of
// it, and allocate nothing of that size on the way.
QByteArray withChunkPastTheEnd(const QByteArray &file);
// The bytes as the one picture of an icon file (ICO), which Qt's reader hands a PNG picture on to
// its PNG reader.
QByteArray insideIconFile(const QByteArray &picture);

} // namespace FuzzSupport
