#include "ravlin/base/xdg_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string home_directory()
{
    const char* home = getenv("HOME");
    if (home && home[0] == '/')
        return home;
    // Without $HOME a relative answer would put the files below whatever
    // directory the launcher was started in, and "" + "/.cache" below /.
    const passwd* entry = getpwuid(getuid());
    if (entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return {};
}

std::string xdg_directory(const char* variable, const char* below_home)
{
    const char* value = getenv(variable);
    if (value && value[0] == '/')
        return value;
    std::string home = home_directory();
    if (home.empty())
        return {};
    if (home.back() != '/')
        home += '/';
    return home + below_home;
}

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
