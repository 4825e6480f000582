#pragma once

#include "Platform/FileStamp.h"

#include <QImage>

// What a keeper of pictures decoded out of the program knows of one picture now.
struct PictureLookup {
    enum class State { Pending, Ready, Failed };
    State state = State::Pending;
    QImage picture;
};

// A picture a keeper holds for one state of a file: on its way, or at hand (null when the file gave
// none), and when it was last looked up, on the keeper's own clock, so the least used goes first.
struct KeptPicture {
    FileStamp stamp;
    QImage picture;
    bool pending = true;
    quint64 used = 0;
};
