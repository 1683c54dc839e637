// The three standard descriptors of a program started with one of them
// closed (`program >&-`, or by a parent that closed it).
#pragma once

// Makes sure descriptors 0, 1 and 2 are open before the program opens
// anything else: a missing one is opened on /dev/null. Otherwise the first
// file or connection the program opens would take its number, and status
// lines meant for standard output would go into a capture file or the
// driver's connection. A missing 1 or 2 is opened read-only, so that a
// write to an output that was closed still fails (EBADF) and is reported as
// an output error instead of vanishing. Call it first thing in main. False
// when a missing descriptor could not be opened (nothing else then is safe
// to open). On Windows it does nothing.
bool ensure_standard_fds();
