#include "ravlin/control/wayland_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ravlin/control/platform.h"

namespace {

constexpr const char module_name[] = "ravlin-wayland.so";

// Beside the executable first, so that a build runs its own module, then
// where it was installed.
void* load_module()
{
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        if (char* slash = std::strrchr(self, '/')) {
            std::string beside = std::string(self, slash + 1) + module_name;
            if (access(beside.c_str(), R_OK) == 0)
                if (void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL))
                    return module;
        }
    }
    return dlopen(RAVLIN_MODULE_DIR "/ravlin-wayland.so", RTLD_NOW | RTLD_LOCAL);
}

bool open_module(MenuState& m);

// Stands for the module's table until it has opened, then becomes a copy
// of it, so that the rest of the run calls the module directly.
Platform module_table = {"wayland", open_module, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr};

bool open_module(MenuState& m)
{
    void* module = load_module();
    if (!module)
        return false;
    using Entry = const Platform* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(module, "ravlin_wayland_platform"));
    const Platform* platform = entry ? entry() : nullptr;
    if (platform && platform->open(m)) {
        module_table = *platform;
        return true;
    }
    dlclose(module);
    return false;
}

}  // namespace

const Platform* wayland_module()
{
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display && *display ? &module_table : nullptr;
}
