#include "ravlin/base/fail.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void fail(const char* format, ...)
{
    int saved_errno = errno;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    size_t length = std::strlen(format);
    if (length > 0 && format[length - 1] == ':')
        std::fprintf(stderr, " %s\n", std::strerror(saved_errno));
    std::exit(1);
}
