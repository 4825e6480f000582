#pragma once

// The helper's "--supervise <program> <arguments>..." mode: runs another program (a desktop
// thumbnailer) for the program and answers for all it starts. The supervisor adopts every orphan
// below it, so a descendant that left the program's process group, even for a session of its own,
// is still found; when the program it runs ends, when it is told to stop (SIGTERM, SIGINT, SIGHUP)
// or when the Kestrowan program dies, it ends every descendant and then itself, with the status of
// the program it ran.
namespace Supervisor {

// The folder a supervised thumbnailer writes its picture into. The supervisor makes it (it must not
// be there yet), and once the thumbnailer has written the picture, has the helper read it to fit
// the size (its pixels on the supervisor's standard output, as "--fit" gives them); it removes the
// folder with all in it however it ends, even when the program dies meanwhile.
struct Scratch {
    const char *folder = nullptr;
    const char *picture = nullptr;
    const char *width = nullptr;
    const char *height = nullptr;
};

// `target`: the program and its arguments, ending in a null pointer. Returns the exit status: the
// program's, or the reading helper's after it when there is a scratch folder.
int run(char *const *target, const Scratch *scratch = nullptr);

} // namespace Supervisor
