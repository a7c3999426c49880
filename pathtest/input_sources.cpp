#include "input_sources.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/types.h>

#include "output.h"

namespace {

void filter_path(const TestOptions& options, int dir_fd, const char* name, bool& matched)
{
    if (!test_path(options, dir_fd, name))
        return;
    if (options.has('q'))
        exit(0);
    print_name(name);
    matched = true;
}

// Entries are tested relative to the open directory: the same answers as the
// joined "dir/entry" path, without building it or resolving the directory
// again for every entry, and with no limit on the joined length.
void filter_entries(const TestOptions& options, const char* operand, bool& matched)
{
    DIR* dir = opendir(operand);
    if (dir == nullptr) {
        filter_path(options, AT_FDCWD, operand, matched);
        return;
    }
    int dir_fd = dirfd(dir);
    while (const dirent* entry = readdir(dir))
        filter_path(options, dir_fd, entry->d_name, matched);
    closedir(dir);
}

}  // namespace

bool filter_lines(const TestOptions& options, FILE* input)
{
    bool matched = false;
    // stat refuses a path of PATH_MAX bytes or more, so the rest of a longer
    // line is passed over without being kept: memory stays bounded and the
    // line fails as it would have. A NUL ends the name the tests see.
    char path[PATH_MAX + 1];
    size_t length = 0;
    bool keeping = true, too_long = false, started = false;
    auto finish_line = [&] {
        path[length] = '\0';
        if (!too_long)
            filter_path(options, AT_FDCWD, path, matched);
        length = 0;
        keeping = true;
        too_long = started = false;
    };
    // A read error ends the input like its end.
    for (int c; (c = getc_unlocked(input)) != EOF;) {
        if (c == '\n') {
            finish_line();
            continue;
        }
        started = true;
        if (!keeping)
            continue;
        if (c == '\0' || length == PATH_MAX) {
            too_long = c != '\0';
            keeping = false;
            continue;
        }
        path[length++] = static_cast<char>(c);
    }
    if (started)
        finish_line();
    return matched;
}

bool filter_operands(const TestOptions& options, char* const* operands, int count)
{
    bool matched = false;
    for (int i = 0; i < count; ++i) {
        if (options.has('l'))
            filter_entries(options, operands[i], matched);
        else
            filter_path(options, AT_FDCWD, operands[i], matched);
    }
    return matched;
}
