// pathtest: prints the paths that pass the file tests chosen by its options.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>

#include "input_sources.h"
#include "options.h"
#include "output.h"

namespace {

// A closed standard descriptor would be taken by the next directory opened;
// /dev/null fills each gap. True when standard output was one of them.
bool open_standard_descriptors()
{
    bool output_closed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
            return output_closed;
        output_closed = output_closed || fd == 1;
    }
    return output_closed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (open_standard_descriptors())
        mark_output_closed();
    TestOptions options{};
    int first_operand = parse_options(argc, argv, options);
    if (first_operand < 0) {
        print_usage(argv[0]);
        return 2;
    }
    bool matched = first_operand < argc
                       ? filter_operands(options, argv + first_operand, argc - first_operand)
                       : filter_lines(options, stdin);
    finish_output();
    return matched ? 0 : 1;
}
