#include "ravlin/control/lifecycle.h"
#include "ravlin/control/wayland_module.h"
#include "ravlin/x11/x11_platform.h"

int main(int argc, char** argv)
{
    const Platform* const platforms[] = {wayland_module(), &x11_platform()};
    return run_menu(argc, argv, platforms);
}
