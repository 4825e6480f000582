// Carries the shared precompiled header (see Kestrowan.cmake); it has no code of its own.
