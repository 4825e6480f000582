#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <sys/types.h>

// One child that serves the program (the thumbnail helper, a desktop thumbnailer), started without
// a shell and watched through descriptors rather than signals: `endedDescriptor()` becomes readable
// when the child ends, `outputDescriptor()` carries its standard output. The child runs in a
// process group of its own with every signal at its default and none blocked, and sees only its
// standard streams; the helper sets its own limits and ties itself to the program in its `main`
// (HelperLimits), so that it dies with the program. Its group is signalled only while the child is not yet
// collected, so a group id the system has handed out again is never hit.
class BoundedChild {
public:
    struct Exit {
        // Exited by itself, with `code`; otherwise ended by a signal (its limits, a kill).
        bool exited = false;
        int code = -1;
    };

    BoundedChild() = default;
    // Ends the child and its group and collects it, if that was not done yet.
    ~BoundedChild();
    BoundedChild(const BoundedChild &) = delete;
    BoundedChild &operator=(const BoundedChild &) = delete;

    enum class Mode {
        // The program limits its own address space (the helper, which knows whether it runs checked).
        OwnLimits,
        // Another program (a desktop thumbnailer) runs under the helper's supervisor, which ends
        // all it starts, even in a session of its own, and under the helper's limits.
        Supervised,
    };
    // Starts `arguments` (a program first): standard input from /dev/null, or from writeInput()
    // when `feedInput`; standard error to /dev/null; standard output into a pipe when
    // `captureOutput`, else /dev/null. False, with errorString(), when no process could be made.
    // `supervision`: the supervisor's own options, before the program it runs.
    bool start(const QStringList &arguments, bool captureOutput, Mode mode, bool feedInput = false,
               const QStringList &supervision = {});

    bool isStarted() const { return m_pid > 0; }
    qint64 processId() const { return m_pid; }
    QString errorString() const { return m_error; }

    // Readable once the child has ended (-1 before start).
    int endedDescriptor() const { return m_ended; }
    // The read end of the child's standard output, non-blocking (-1 without capture).
    int outputDescriptor() const { return m_output; }
    enum class Output { More, End, TooLarge };
    // Appends what the pipe holds now to `into`, at most up to `limit` bytes in all: More when the
    // pipe may bring more, End at its end, TooLarge when `into` would pass the limit.
    Output readOutput(QByteArray &into, qsizetype limit);

    // Hands the child `bytes` (at most inputPieceBytes) on its standard input, all of them or none:
    // false when the child has gone, or has left so much unread that they would not fit. Never
    // blocks and never raises SIGPIPE.
    static constexpr qsizetype inputPieceBytes = 16 * 1024;
    bool writeInput(const QByteArray &bytes);
    // The child's standard input ends: it reads to the end of what was written.
    void closeInput();
    bool hasInput() const { return m_input >= 0; }

    // Ends the child and everything in its group at once (a supervisor is told to end all below
    // it, and then itself). Callable from any thread while another waits for the child; does
    // nothing once the child was collected.
    void kill();

    // Once the child has ended (or was killed): ends what remains of its group, collects the child
    // and closes the descriptors. Waits at most `waitMs` for a killed child to go.
    std::optional<Exit> collect(int waitMs = 2000);

    // Whether the child has ended (it may not be collected yet).
    bool hasEnded() const;
    // The processor time the child itself has used so far, in milliseconds (0 when unknown).
    qint64 cpuMilliseconds() const;

    // Waits until the child ends, the output pipe has something (when `forOutput`), or `timeoutMs`
    // passes; true when something happened.
    bool wait(int timeoutMs, bool forOutput);

private:
    void closeDescriptors();

    std::mutex m_mutex;
    pid_t m_pid = 0;
    bool m_supervised = false;
    int m_ended = -1;
    int m_output = -1;
    int m_input = -1;
    QString m_error;
};
