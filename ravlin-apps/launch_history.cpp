#include "launch_history.h"

#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "ravlin/base/file_rewrite.h"
#include "ravlin/base/xdg_dirs.h"

std::string history_path()
{
    std::string state = xdg_directory("XDG_STATE_HOME", ".local/state");
    return state.empty() ? state : state + "/ravlin/apps-history";
}

std::vector<std::string> read_history(const std::string& path)
{
    std::vector<std::string> ids;
    int fd = path.empty() ? -1 : open_rewritten_file(path.c_str());
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "r");
    if (!file) {
        if (fd >= 0)
            close(fd);
        return ids;
    }
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
    if (path.empty())
        return;
    std::string text = id + "\n";
    size_t kept = 1;
    for (const std::string& old : previous)
        if (old != id && kept++ < kHistoryLength)
            text += old + "\n";

    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        make_private_dirs(path.substr(0, slash));
    rewrite_file(path.c_str(), text);
}
