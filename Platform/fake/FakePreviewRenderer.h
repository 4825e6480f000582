#pragma once

#include "Platform/PreviewRenderer.h"

#include <QHash>
#include <QMetaObject>
#include <QStringList>

// Answers each render a turn of the event loop later, as the helper does (never at once), with the
// picture set for the path or nothing. While held, requests wait until release().
class FakePreviewRenderer final : public PreviewRenderer {
    Q_OBJECT
public:
    QHash<QString, QImage> pictures;

    void render(Kind, const QString &path) override
    {
        m_requests.append(path);
        if (m_held) {
            m_waiting.append(path);
            return;
        }
        answerLater(path);
    }
    void cancelAll() override
    {
        m_waiting.clear();
        ++m_generation;
    }

    void hold() { m_held = true; }
    void release()
    {
        m_held = false;
        for (const QString &path : std::exchange(m_waiting, {}))
            answerLater(path);
    }
    QStringList requests() const { return m_requests; }

private:
    void answerLater(const QString &path)
    {
        QMetaObject::invokeMethod(
            this,
            [this, path, generation = m_generation] {
                if (generation != m_generation)
                    return;
                const QImage picture = pictures.value(path);
                emit rendered(path, picture, picture.isNull() ? QStringLiteral("no picture") : QString(), false);
            },
            Qt::QueuedConnection);
    }

    bool m_held = false;
    quint64 m_generation = 0;
    QStringList m_requests;
    QStringList m_waiting;
};
