#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (a logout, a service manager), SIGINT (Ctrl+C in a terminal) and SIGHUP (the terminal
// went) brought into the event loop: the handler only writes the signal's number into a pipe,
// and `received` follows from the loop, where the program quits as its menu does.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // One per process; a second one does nothing.
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isListening() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};
