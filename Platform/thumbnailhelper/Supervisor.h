#pragma once

// The helper's "--supervise <program> <arguments>..." mode: runs another program (a desktop
// thumbnailer) for the program and answers for all it starts. The supervisor adopts every orphan
// below it, so a descendant that left the program's process group, even for a session of its own,
// is still found; when the program it runs ends, when it is told to stop (SIGTERM, SIGINT, SIGHUP)
// or when the Kestrowan program dies, it ends every descendant and then itself, with the status of
// the program it ran.
namespace Supervisor {

// `target`: the program and its arguments, ending in a null pointer. Returns the exit status.
int run(char *const *target);

} // namespace Supervisor
