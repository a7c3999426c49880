#include "ravlin/control/lifecycle.h"
#include "ravlin/x11/x11_platform.h"

int main(int argc, char** argv)
{
    const Platform* const platforms[] = {&x11_platform()};
    return run_menu(argc, argv, platforms);
}
