#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages logged while it lives, from whichever thread logs them. With PassOn::Yes each
// message also goes on to the handler that was installed before, as it would without the capture.
// One capture lives at a time.
class LogCapture {
public:
    enum class PassOn { No, Yes };
    explicit LogCapture(PassOn passOn = PassOn::No);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Every message so far.
    QStringList lines() const;
    // The messages of one type so far.
    QStringList lines(QtMsgType type) const;
    // How many messages so far match the regular expression `pattern`.
    int count(const QString &pattern) const;
    // How many messages so far contain `text`.
    int countText(const QString &text) const;
    void clear();
};
