#include "ravlin/control/file_completion.h"

#include "ravlin/control/menu_state.h"

void complete_file_name(MenuState&) {}
