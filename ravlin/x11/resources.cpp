#include "ravlin/x11/resources.h"

#include <X11/Xresource.h>

#include <cstdlib>
#include <forward_list>
#include <string>

#include "ravlin/base/settings.h"

namespace {

// Resource values outlive their database here, for the rest of the run.
const char* keep_copy(const char* value)
{
    static std::forward_list<std::string> copies;
    return copies.emplace_front(value).c_str();
}

}  // namespace

void apply_resource_string(Settings& s, const char* resources)
{
    if (!resources)
        return;
    XrmDatabase database = XrmGetStringDatabase(resources);
    struct Resource {
        const char* name;
        const char* Settings::*field;
    };
    static const Resource fill_unset[] = {
        {"ravlin.font", &Settings::font_name},
        {"ravlin.foreground", &Settings::normal_fg_color},
        {"ravlin.background", &Settings::normal_bg_color},
        {"ravlin.selforeground", &Settings::selected_fg_color},
        {"ravlin.selbackground", &Settings::selected_bg_color},
        {"ravlin.dimcolor", &Settings::shade_color},
        {"ravlin.undercolor", &Settings::underline_color},
    };
    char* type = nullptr;
    XrmValue value;
    for (const Resource& r : fill_unset)
        if (XrmGetResource(database, r.name, "*", &type, &value) && !(s.*r.field))
            s.*r.field = keep_copy(value.addr);
    if (XrmGetResource(database, "ravlin.opacity", "*", &type, &value))
        s.opacity = std::atof(value.addr);
    XrmDestroyDatabase(database);
}

void apply_x_resources(Settings& s, Display* display)
{
    apply_resource_string(s, XResourceManagerString(display));
}
