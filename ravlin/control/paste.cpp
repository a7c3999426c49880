#include "ravlin/control/paste.h"

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"

void request_paste(MenuState&, Atom) {}
void handle_selection_notify(MenuState&, const Settings&, const XSelectionEvent&) {}
