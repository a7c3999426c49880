// Colour and font names as the Wayland platform reads them: from the
// command line, and colour databases whatever their lines hold. None may
// crash it, and a colour it accepts must parse the same again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ravlin/wayland/color_names.h"
#include "ravlin/wayland/font_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    // The name is the input up to its first NUL; what follows, a database.
    std::string name = text.substr(0, text.find('\0'));
    if (auto rgb = parse_numeric_color(name.c_str())) {
        auto again = parse_numeric_color(name.c_str());
        if (!again || again->r != rgb->r || again->g != rgb->g || again->b != rgb->b)
            std::abort();
    }
    (void)fontconfig_name(name.c_str());
    static int database = memfd_create("colours", 0);
    if (database >= 0 && ftruncate(database, 0) == 0 &&
        pwrite(database, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
        std::string path = "/proc/self/fd/" + std::to_string(database);
        (void)lookup_color_name(name.c_str(), path.c_str());
    }
    return 0;
}
