#include "output.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool output_closed = false;

// Once a write has failed nothing more can reach the reader, so stop at once
// rather than let a truncated listing look like success.
[[noreturn]] void write_failed()
{
    fprintf(stderr, "pathtest: write error: %s\n", strerror(errno));
    exit(2);
}

}  // namespace

void mark_output_closed()
{
    output_closed = true;
}

void print_name(const char* name)
{
    if (output_closed) {
        errno = EBADF;
        write_failed();
    }
    if (puts(name) == EOF)
        write_failed();
}

void finish_output()
{
    // A flush rather than fclose: with nothing to write, a closed standard
    // output is no error.
    if (fflush(stdout) != 0)
        write_failed();
}
