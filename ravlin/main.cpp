#include "ravlin/control/lifecycle.h"

int main(int argc, char** argv)
{
    return run_menu(argc, argv);
}
