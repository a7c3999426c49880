// Feeds arbitrary argument vectors and resource strings to the settings
// scan: it must never crash, whatever the user or the resource database says.
#include <X11/Xresource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ravlin/control/settings.h"
#include "ravlin/x11/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool initialized = (XrmInitialize(), true);
    (void)initialized;
    std::string text(reinterpret_cast<const char*>(data), size);

    // Arguments are the NUL-separated pieces of the input.
    std::vector<std::string> pieces{"ravlin"};
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\0') {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    std::vector<char*> argv;
    for (auto& p : pieces)
        argv.push_back(p.data());
    argv.push_back(nullptr);
    Settings s;
    scan_command_line(static_cast<int>(pieces.size()), argv.data(), s);

    std::string resources(text.c_str());
    apply_resource_string(s, resources.c_str());
    apply_defaults(s);
    return 0;
}
