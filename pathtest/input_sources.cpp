#include "input_sources.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "output.h"

namespace {

void filter_path(const TestOptions& options, int dir_fd, const char* name, bool& matched,
                 mode_t known_type = 0)
{
    if (!test_path(options, dir_fd, name, known_type))
        return;
    if (options.has('q'))
        exit(0);
    print_name(name);
    matched = true;
}

// The file type that readdir reports for an entry, when it is one that stat
// would report too: not for symbolic links, whose target decides, nor where
// the file system does not say.
mode_t listed_type(unsigned char d_type)
{
    switch (d_type) {
    case DT_REG:
        return S_IFREG;
    case DT_DIR:
        return S_IFDIR;
    case DT_FIFO:
        return S_IFIFO;
    case DT_CHR:
        return S_IFCHR;
    case DT_BLK:
        return S_IFBLK;
    case DT_SOCK:
        return S_IFSOCK;
    default:
        return 0;
    }
}

// Entries are tested relative to the open directory: the same answers as the
// joined "dir/entry" path, without building it or resolving the directory
// again for every entry, and with no limit on the joined length. An entry
// that readdir has just named exists, so in a searchable directory its stat
// succeeds; when readdir also gave its type and it is no link, the tests
// that need only the type make no call for it.
void filter_entries(const TestOptions& options, const char* operand, bool& matched)
{
    DIR* dir = opendir(operand);
    if (dir == nullptr) {
        filter_path(options, AT_FDCWD, operand, matched);
        return;
    }
    int dir_fd = dirfd(dir);
    int searchable = -1;  // not yet asked
    while (const dirent* entry = readdir(dir)) {
        mode_t type = listed_type(entry->d_type);
        if (type != 0 && searchable < 0) {
            // Looking up "." needs search permission, as any entry does.
            struct stat self;
            searchable = fstatat(dir_fd, ".", &self, 0) == 0;
        }
        filter_path(options, dir_fd, entry->d_name, matched, searchable == 1 ? type : 0);
    }
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
