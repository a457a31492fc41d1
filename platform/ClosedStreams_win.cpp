// SPDX-License-Identifier: MIT
#include "platform/ClosedStreams.h"

#include <fcntl.h>
#include <io.h>

// A stream is closed when the C library's descriptor has no handle behind it (a program started
// without a console and without redirection).
ClosedStandardStreams openClosedStandardStreams()
{
    bool closed[3] = {};
    for (int fd = 0; fd <= 2; ++fd) {
        const intptr_t handle = ::_get_osfhandle(fd);
        if (handle != -1 && handle != -2 && handle != 0)
            continue;
        closed[fd] = true;
        const int opened = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::_dup2(opened, fd);
            ::_close(opened);
        }
    }
    return {closed[0], closed[1], closed[2]};
}
