#include "ravlin/base/file_rewrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "ravlin/base/write_all.h"

namespace {

bool write_text(int fd, std::string_view text)
{
    return write_all(fd, text.data(), text.size());
}

// Like the keyboard grab: a holder that never lets go costs a second, not
// the accept or the start.
bool lock_file(int fd, int operation)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        usleep(1000);
    }
    return false;
}

std::string directory_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links in the last component to the name that is finally
// written, so a link to the history survives the rewrite. A name that does
// not exist yet (a dangling link included) is where a new file goes.
bool final_name(const char* path, std::string& name)
{
    name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(name.c_str(), &st) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        char target[4096];
        ssize_t n = readlink(name.c_str(), target, sizeof target);
        if (n < 0 || static_cast<size_t>(n) == sizeof target)
            return false;
        std::string link(target, static_cast<size_t>(n));
        name = link[0] == '/' ? link : directory_of(name) + link;
    }
    return false;
}

// Devices and FIFOs are written as they are: there is no file to replace.
// Opening without blocking makes a FIFO that nobody reads fail at once
// instead of holding the accept, and the keyboard, until someone does.
void write_device(const std::string& name, std::string_view text)
{
    int fd = open(name.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    write_text(fd, text);
    close(fd);
}

// When the directory takes no new name, or refuses the rename over a file
// that is not ours, the file itself is rewritten. The lock keeps two such
// rewrites, and a start reading the history, from seeing each other's
// halves. Writing before truncating means a crash halfway loses no line of
// the old file, though the end of one may be left over.
void rewrite_in_place(const std::string& name, std::string_view text)
{
    int fd = open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (lock_file(fd, LOCK_EX) && write_text(fd, text) &&
        ftruncate(fd, static_cast<off_t>(text.size())) == 0)
        fsync(fd);
    close(fd);
}

bool is_refusal(int error)
{
    return error == EACCES || error == EPERM;
}

enum class Replaced { done, refused, failed };

Replaced failure_of(int error)
{
    return is_refusal(error) ? Replaced::refused : Replaced::failed;
}

// This machine's name, so that a directory shared with others (a home on
// NFS) tells whose process left a version behind.
std::string host_name()
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return "localhost";
    for (char* c = host; *c; ++c)
        if (*c == '/' || *c == '.')
            *c = '_';
    return host;
}

// ".NAME.HOST.PID.N.tmp": where a new version is named before the rename.
std::string version_prefix(const std::string& base)
{
    return "." + base + "." + host_name() + ".";
}

std::string version_name(const std::string& directory, const std::string& base, int attempt)
{
    return directory + version_prefix(base) + std::to_string(getpid()) + "." +
           std::to_string(attempt) + ".tmp";
}

// A save killed between naming its version and the rename leaves that name
// behind; the next save removes those of processes of this machine that are
// gone.
void remove_left_versions(const std::string& directory, const std::string& base)
{
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return;
    std::string prefix = version_prefix(base);
    while (dirent* entry = readdir(dir)) {
        std::string_view file = entry->d_name;
        if (file.size() <= prefix.size() || file.substr(0, prefix.size()) != prefix ||
            file.size() < 4 || file.substr(file.size() - 4) != ".tmp")
            continue;
        char* end = nullptr;
        long pid = std::strtol(entry->d_name + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '.' || pid == getpid())
            continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

// A file for the new version. Unnamed where the file system allows it, so
// that a save killed before the rename leaves nothing behind; otherwise
// named at once, in name.
int new_version_file(const std::string& directory, const std::string& base, bool unnamed,
                     std::string& name)
{
    // 0666 less the umask: what a new file would have got anyway.
    if (unnamed)
        return open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                    0666);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = version_name(directory, base, attempt);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Names an unnamed file beside the history, just before the rename.
bool name_version_file(int fd, const std::string& directory, const std::string& base,
                       std::string& name)
{
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = version_name(directory, base, attempt);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    name.clear();
    return false;
}

// Writes text to a new file beside name and renames it over name, so the
// history is at every moment one whole version: the old one until the
// rename, the new one after. old is the file being replaced, or null.
Replaced write_and_rename(const std::string& name, std::string_view text,
                          const struct stat* old, bool unnamed, int& error)
{
    std::string directory = directory_of(name);
    std::string base = name.substr(directory.size());
    std::string temporary;
    remove_left_versions(directory, base);
    int fd = new_version_file(directory, base, unnamed, temporary);
    if (fd < 0) {
        error = errno;
        return failure_of(error);
    }

    bool written = true;
    if (old) {
        // The owner only changes hands when root rewrites someone else's
        // file; anyone else cannot give a file away, and that is no failure.
        if (fchown(fd, old->st_uid, old->st_gid) != 0)
            errno = 0;
        written = fchmod(fd, old->st_mode & 07777) == 0;
    }
    written = written && write_text(fd, text) && fsync(fd) == 0;
    error = errno;
    if (written && unnamed && !name_version_file(fd, directory, base, temporary)) {
        written = false;
        error = errno;
    }
    // Renamed at once once named: the fewer steps between, the less a kill
    // can leave behind.
    if (written && rename(temporary.c_str(), name.c_str()) != 0) {
        written = false;
        error = errno;
    }
    close(fd);
    if (!written) {
        if (!temporary.empty())
            unlink(temporary.c_str());
        return failure_of(error);
    }
    int dir = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return Replaced::done;
}

Replaced replace_file(const std::string& name, std::string_view text, const struct stat* old)
{
    int error = 0;
    Replaced outcome = write_and_rename(name, text, old, true, error);
    // No unnamed files here (EOPNOTSUPP, EISDIR on old kernels), or no
    // /proc to name one through (ENOENT): the named way still works.
    if (outcome == Replaced::failed &&
        (error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT))
        outcome = write_and_rename(name, text, old, false, error);
    return outcome;
}

}  // namespace

int open_rewritten_file(const char* path)
{
    // A FIFO with no writer would block the start; without blocking it
    // simply reads as empty.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat st;
    // A file being rewritten in place is read whole or not at all: a torn
    // copy would be written back on the next rewrite.
    // Should the writer never let go, the file is read anyway: reading
    // nothing would have the next rewrite drop every old line.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        lock_file(fd, LOCK_SH);
    return fd;
}

void rewrite_file(const char* path, std::string_view text)
{
    std::string name;
    if (!final_name(path, name))
        return;

    struct stat st;
    if (stat(name.c_str(), &st) != 0) {
        if (errno == ENOENT)
            replace_file(name, text, nullptr);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        write_device(name, text);
        return;
    }
    // A file this process could not have rewritten in place is left alone,
    // whatever the directory allows.
    int probe = open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0)
        return;
    close(probe);
    if (replace_file(name, text, &st) == Replaced::refused)
        rewrite_in_place(name, text);
}
