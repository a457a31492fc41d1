// SPDX-License-Identifier: MIT
#include "platform/ClosedStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

ClosedStandardStreams openClosedStandardStreams()
{
    bool closed[3] = {};
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closed[fd] = true;
        // The lowest free number, which is this one: those below it are open by now.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened > fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    return {closed[0], closed[1], closed[2]};
}
