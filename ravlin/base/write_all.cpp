#include "ravlin/base/write_all.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

bool write_all(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            pollfd ready{fd, POLLOUT, 0};
            int n;
            while ((n = poll(&ready, 1, 1000)) < 0 && errno == EINTR) {
            }
            if (n <= 0)
                return false;
            continue;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
