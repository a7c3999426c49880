#include "input_sources.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

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
    // Straight from the descriptor: a read returns what a pipe holds, so
    // names are tested as they arrive, and nothing else reads the stream.
    int fd = fileno(input);
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        // A read error ends the input like its end.
        if (got <= 0)
            break;
        const char* p = buffer;
        const char* end = buffer + got;
        while (p < end) {
            const char* newline = static_cast<const char*>(memchr(p, '\n', end - p));
            const char* stop = newline ? newline : end;
            started = started || stop > p;
            if (keeping) {
                size_t n = stop - p;
                const char* nul = static_cast<const char*>(memchr(p, '\0', n));
                if (nul)
                    n = nul - p;
                if (n > PATH_MAX - length) {
                    n = PATH_MAX - length;
                    too_long = true;
                }
                memcpy(path + length, p, n);
                length += n;
                keeping = !nul && !too_long;
            }
            if (!newline)
                break;
            finish_line();
            p = newline + 1;
        }
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
