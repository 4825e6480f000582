#pragma once

#include "Platform/IconDecoder.h"

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

// The tiles' own pictures, decoded out of the Dock's process as the program decodes icons: in the
// icon helper, a bounded child that reads regular files of a bounded size only, under a deadline.
// A fifo, a sparse file of gigabytes or a picture that takes seconds to draw costs a helper and
// that tile's picture, never the Dock's answers or its memory. Nothing here waits: answers come
// from the event loop.
class TilePictures : public QObject {
    Q_OBJECT
public:
    // `side`: the pixels a side of the pictures asked for.
    explicit TilePictures(int side, std::unique_ptr<IconDecoder> decoder = IconDecoder::createDefault(), QObject *parent = nullptr);
    ~TilePictures() override;

    // Asks for the picture in the file at `path`. One question per file is out at a time: a file
    // asked for again meanwhile (it changed) is asked once more when the first answer comes, and
    // that first answer, maybe of its old state, is dropped.
    void ask(const QString &path);

    // Whether no question is out.
    bool isIdle() const { return m_out.isEmpty(); }

signals:
    // The picture of the file at `path`; a null image when it gives none.
    void answered(const QString &path, const QImage &picture);

private:
    void decoded(const IconDecoder::Request &request, const QList<QImage> &pictures, const QString &failure);

    int m_side;
    std::unique_ptr<IconDecoder> m_decoder;
    QSet<QString> m_out;
    QSet<QString> m_again;
};
