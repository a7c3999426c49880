#include "path_tests.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

bool has_type(const struct stat& status, mode_t type)
{
    return (status.st_mode & S_IFMT) == type;
}

bool accessible(int dir_fd, const char* path, int mode)
{
    // Flags 0: real user and group IDs, symbolic links followed, as access().
    return faccessat(dir_fd, path, mode, 0) == 0;
}

bool is_symlink(int dir_fd, const char* path)
{
    struct stat link_status;
    return fstatat(dir_fd, path, &link_status, AT_SYMLINK_NOFOLLOW) == 0 &&
           has_type(link_status, S_IFLNK);
}

// The tests that read more of the status than the file type.
bool needs_status(const TestOptions& o)
{
    return o.has('g') || o.has('n') || o.has('o') || o.has('s') || o.has('u');
}

}  // namespace

bool test_path(const TestOptions& o, int dir_fd, const char* name, mode_t known_type)
{
    // Every failed test is silent, so looking at the name before stat changes
    // no outcome; it only spares the stat of hidden entries, "." and "..".
    if (!o.has('a') && name[0] == '.')
        return false;

    struct stat status;
    if (known_type != 0 && !needs_status(o)) {
        // What stat would report that these tests read; a file that is no
        // link is no link of lstat either.
        status.st_mode = known_type;
        if (o.has('h'))
            return false;
    } else if (fstatat(dir_fd, name, &status, 0) != 0) {
        return false;
    }

    return (!o.has('b') || has_type(status, S_IFBLK)) &&
           (!o.has('c') || has_type(status, S_IFCHR)) &&
           (!o.has('d') || has_type(status, S_IFDIR)) &&
           (!o.has('e') || accessible(dir_fd, name, F_OK)) &&
           (!o.has('f') || has_type(status, S_IFREG)) &&
           (!o.has('g') || (status.st_mode & S_ISGID)) &&
           (!o.has('h') || is_symlink(dir_fd, name)) &&
           (!o.has('n') || status.st_mtime > o.newer_than.st_mtime) &&
           (!o.has('o') || status.st_mtime < o.older_than.st_mtime) &&
           (!o.has('p') || has_type(status, S_IFIFO)) &&
           (!o.has('r') || accessible(dir_fd, name, R_OK)) &&
           (!o.has('s') || status.st_size > 0) &&
           (!o.has('u') || (status.st_mode & S_ISUID)) &&
           (!o.has('w') || accessible(dir_fd, name, W_OK)) &&
           (!o.has('x') || accessible(dir_fd, name, X_OK));
}
