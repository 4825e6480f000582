#pragma once

#include <QByteArrayView>

// What every reader of an outside picture checks and sets before a library sees the bytes. A
// picture library believes the sizes a file's headers name and allocates them before it reads
// what they cover: a PNG chunk of 141 bytes that names 768 MB makes libpng allocate and clear
// 768 MB, then find the file ends.
namespace PictureBytes {

// The most a picture library may allocate for one picture, in megabytes.
constexpr int allocationLimitMegabytes = 128;

// Whether the bytes can hold what their headers claim: every chunk of a PNG file, and of a PNG
// file inside an icon file, fits in the bytes after its header. Bytes of other kinds pass.
bool holdWhatTheyClaim(QByteArrayView bytes);

// Caps what Qt's picture readers allocate for one picture in this process; called once at start
// by every process that decodes pictures from outside.
void capLibraryAllocations();

} // namespace PictureBytes
