#include "program_path.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool is_executable_file(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string find_program(std::string_view name, std::string_view search_path)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string_view::npos) {
        std::string path(name);
        return is_executable_file(path) ? path : std::string();
    }
    size_t start = 0;
    for (;;) {
        size_t colon = search_path.find(':', start);
        std::string_view dir = search_path.substr(start, colon - start);
        std::string path = (dir.empty() ? std::string(".") : std::string(dir)) + "/" +
                           std::string(name);
        if (is_executable_file(path))
            return path;
        if (colon == std::string_view::npos)
            return {};
        start = colon + 1;
    }
}
