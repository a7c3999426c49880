#include "ravlin/base/standard_descriptors.h"

#include <fcntl.h>
#include <cerrno>

int open_standard_descriptors()
{
    int filled = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null_fd != fd)
            return -1;
        filled |= 1 << fd;
    }
    return filled;
}
