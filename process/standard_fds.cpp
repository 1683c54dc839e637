#include "process/standard_fds.h"

#ifdef _WIN32

bool ensure_standard_fds() { return true; }

#else

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool ensure_standard_fds() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // open() takes the lowest free number: this one, since the lower
        // ones are open by now.
        const int opened = open("/dev/null", O_RDONLY | O_NOCTTY);
        if (opened != fd) {
            if (opened >= 0) {
                close(opened);
            }
            return false;
        }
    }
    return true;
}

#endif
