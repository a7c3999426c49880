#include "application_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "ravlin/base/colon_list.h"

namespace {

// Symbolic links may make loops and deep trees hold a descriptor per level.
constexpr int kMaxDepth = 16;

bool ends_with(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string without_trailing_slashes(std::string_view dir)
{
    while (dir.size() > 1 && dir.back() == '/')
        dir.remove_suffix(1);
    return std::string(dir);
}

// The whole file, when it is of sensible size. The caller knows it to be a
// regular file; O_NONBLOCK keeps one swapped for a FIFO meanwhile harmless.
std::optional<std::string_view> read_entry_file(int dir_fd, const char* name, std::string& text)
{
    int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    if (text.size() < 64 * 1024)
        text.resize(64 * 1024);
    size_t done = 0;
    bool ok = true;
    for (;;) {
        size_t wanted = text.size() - done;
        ssize_t n = read(fd, text.data() + done, wanted);
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
        // A short read of a regular file is its end: no second call for it.
        if (static_cast<size_t>(n) < wanted)
            break;
        if (done > kMaxEntryFileSize) {
            ok = false;
            break;
        }
        text.resize(std::min(text.size() * 2, kMaxEntryFileSize + 1));
    }
    close(fd);
    if (!ok)
        return std::nullopt;
    return std::string_view(text.data(), done);
}

class Search {
public:
    explicit Search(const ListingContext& context) : context_(context) {}

    // Links are followed, but never into a directory above one of the
    // applications directories: a link to / or to /usr/share would walk
    // the whole tree below it (the applications directories among it).
    void mark_above(int dir_fd)
    {
        int fd = openat(dir_fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status;
        // The parent of / is / itself, which ends the climb.
        while (fd >= 0 && fstat(fd, &status) == 0 && above_.insert({status.st_dev, status.st_ino}).second) {
            int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = parent;
        }
        if (fd >= 0)
            close(fd);
    }

    // relative: the path of dir below the applications directory, "" or ending in "/".
    void walk(int dir_fd, const std::string& dir_path, const std::string& relative, int depth)
    {
        struct stat status;
        if (fstat(dir_fd, &status) != 0 || (depth > 0 && above_.count({status.st_dev, status.st_ino})) ||
            !visited_.insert({status.st_dev, status.st_ino}).second) {
            close(dir_fd);
            return;
        }
        DIR* dir = fdopendir(dir_fd);
        if (!dir) {
            close(dir_fd);
            return;
        }
        std::vector<std::pair<std::string, unsigned char>> names;
        while (dirent* entry = readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                names.emplace_back(name, entry->d_type);
        }
        std::sort(names.begin(), names.end());
        for (const auto& [name, type] : names) {
            bool is_dir = type == DT_DIR, is_file = type == DT_REG;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat target;
                if (fstatat(dir_fd, name.c_str(), &target, 0) != 0)
                    continue;
                is_dir = S_ISDIR(target.st_mode);
                is_file = S_ISREG(target.st_mode);
            }
            if (is_file && ends_with(name, ".desktop")) {
                take_file(dir_fd, dir_path + "/" + name, desktop_file_id(relative + name), name);
            } else if (is_dir && depth < kMaxDepth) {
                int child = openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (child >= 0)
                    walk(child, dir_path + "/" + name, relative + name + "/", depth + 1);
            }
        }
        closedir(dir);
    }

    std::vector<DesktopEntry> entries;

private:
    void take_file(int dir_fd, std::string path, std::string id, const std::string& name)
    {
        if (!ids_.insert(id).second)
            return;
        std::optional<std::string_view> text = read_entry_file(dir_fd, name.c_str(), buffer_);
        if (!text)
            return;
        if (auto entry = read_desktop_entry(*text, std::move(id), std::move(path), context_))
            entries.push_back(std::move(*entry));
    }

    const ListingContext& context_;
    std::unordered_set<std::string> ids_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    std::set<std::pair<dev_t, ino_t>> above_;  // the directories above the applications directories
    std::string buffer_;  // reused: one buffer for every file
};

}  // namespace

std::vector<std::string> application_dirs(const char* data_home, const char* data_dirs,
                                          const char* home)
{
    std::vector<std::string> bases;
    if (data_home && data_home[0] == '/')
        bases.emplace_back(data_home);
    else if (home && home[0] == '/')
        bases.push_back(std::string(home) + "/.local/share");
    for (std::string_view dir :
         split_colon_list(data_dirs && *data_dirs ? data_dirs : "/usr/local/share:/usr/share"))
        if (!dir.empty() && dir[0] == '/')
            bases.emplace_back(dir);
    std::vector<std::string> result;
    for (const std::string& base : bases) {
        std::string dir = without_trailing_slashes(base);
        dir = (dir == "/" ? "" : dir) + "/applications";
        if (std::find(result.begin(), result.end(), dir) == result.end())
            result.push_back(dir);
    }
    return result;
}

std::string desktop_file_id(std::string_view relative_path)
{
    std::string id(relative_path);
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

std::vector<DesktopEntry> find_applications(const std::vector<std::string>& dirs,
                                            const ListingContext& context)
{
    Search search(context);
    std::vector<int> fds;
    for (const std::string& dir : dirs) {
        fds.push_back(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fds.back() >= 0)
            search.mark_above(fds.back());
    }
    for (size_t i = 0; i < dirs.size(); ++i)
        if (fds[i] >= 0)
            search.walk(fds[i], dirs[i], "", 0);
    return std::move(search.entries);
}
