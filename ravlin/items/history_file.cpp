#include "ravlin/items/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"

namespace {

// The accepted text first, then every remembered line that differs from it.
std::string history_text(const HistoryTable& history, const char* chosen)
{
    std::string text = chosen;
    text += '\n';
    int32_t count = history.count < HistoryTable::slot_count ? history.count
                                                              : HistoryTable::slot_count;
    for (int32_t i = 0; i < count; ++i)
        if (std::strcmp(history.slots[i], chosen) != 0) {
            text += history.slots[i];
            text += '\n';
        }
    return text;
}

bool write_all(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
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
void write_in_place(const std::string& name, const std::string& text)
{
    int fd = open(name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return;
    write_all(fd, text);
    close(fd);
}

// Writes text to a new file beside name and renames it over name, so the
// history is at every moment one whole version: the old one until the
// rename, the new one after. old is the file being replaced, or null.
void replace_file(const std::string& name, const std::string& text, const struct stat* old)
{
    std::string directory = directory_of(name);
    std::string base = name.substr(directory.size());
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + "." + base + "." + std::to_string(getpid()) + "." +
                    std::to_string(attempt) + ".tmp";
        // 0666 less the umask: what a new file would have got anyway.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return;
    }
    if (fd < 0)
        return;

    bool written = true;
    if (old) {
        // The owner only changes hands when root rewrites someone else's
        // file; anyone else cannot give a file away, and that is no failure.
        if (fchown(fd, old->st_uid, old->st_gid) != 0)
            errno = 0;
        written = fchmod(fd, old->st_mode & 07777) == 0;
    }
    written = written && write_all(fd, text) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), name.c_str()) != 0) {
        unlink(temporary.c_str());
        return;
    }
    int dir = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

}  // namespace

void save_history(const MenuState& m, const Settings& s, const char* chosen)
{
    if (!s.history_path || !*s.history_path || !*chosen)
        return;
    std::string text = history_text(m.history, chosen);
    std::string name;
    if (!final_name(s.history_path, name))
        return;

    struct stat st;
    if (stat(name.c_str(), &st) != 0) {
        if (errno == ENOENT)
            replace_file(name, text, nullptr);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        write_in_place(name, text);
        return;
    }
    // A file this process could not have rewritten in place is left alone,
    // whatever the directory allows.
    int probe = open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0)
        return;
    close(probe);
    replace_file(name, text, &st);
}
