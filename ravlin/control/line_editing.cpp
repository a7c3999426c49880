#include "ravlin/control/line_editing.h"

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"

int32_t char_boundary(const MenuState& m, int step) { return m.cursor + step; }
void splice_input(MenuState&, const Settings&, const char*, int32_t) {}
void type_text(MenuState&, const Settings&, const char*, int32_t) {}
bool delete_before_cursor(MenuState&, const Settings&) { return false; }
bool delete_at_cursor(MenuState&, const Settings&) { return false; }
void delete_to_end(MenuState&, const Settings&) {}
void delete_to_start(MenuState&, const Settings&) {}
void delete_word(MenuState&, const Settings&) {}
bool cycle_completion(MenuState&, const Settings&, Direction) { return false; }
void paste_text(MenuState&, const Settings&, const char*) {}
