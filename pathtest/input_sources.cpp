#include "input_sources.h"

#include <dirent.h>
#include <fcntl.h>
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
    char* line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    // A read error ends the input like its end.
    while ((length = getline(&line, &capacity, input)) != -1) {
        if (length > 0 && line[length - 1] == '\n')
            line[length - 1] = '\0';
        filter_path(options, AT_FDCWD, line, matched);
    }
    free(line);
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
