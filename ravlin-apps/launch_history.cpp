#include "launch_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

namespace {

// Like mkdir -p, with every directory it makes private.
void make_private_dirs(const std::string& dir)
{
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        std::string prefix = dir.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (slash == std::string::npos)
            return;
    }
}

bool write_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

std::string history_path(const char* state_home, const char* home)
{
    std::string base = state_home && state_home[0] == '/' ? state_home
                                                          : std::string(home ? home : "") + "/.local/state";
    return base + "/ravlin/apps-history";
}

std::vector<std::string> read_history(const std::string& path)
{
    std::vector<std::string> ids;
    FILE* file = fopen(path.c_str(), "re");
    if (!file)
        return ids;
    char line[4096];
    while (ids.size() < kHistoryLength && fgets(line, sizeof line, file)) {
        std::string_view id = line;
        if (!id.empty() && id.back() == '\n')
            id.remove_suffix(1);
        if (!id.empty())
            ids.emplace_back(id);
    }
    fclose(file);
    return ids;
}

void record_launch(const std::string& path, const std::string& id,
                   const std::vector<std::string>& previous)
{
    std::string text = id + "\n";
    size_t kept = 1;
    for (const std::string& old : previous)
        if (old != id && kept++ < kHistoryLength)
            text += old + "\n";

    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        make_private_dirs(path.substr(0, slash));
    // The process ID keeps two launchers that finish at once apart.
    std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    bool ok = write_all(fd, text);
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0)
        unlink(temporary.c_str());
}
