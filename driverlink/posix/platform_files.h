// The POSIX file operations and last-error code that both POSIX-hosted
// platform backends (in-process and daemon) share.
#pragma once

// Records the code that platform_last_error reports next (an errno value).
void platform_set_last_error(int code);

