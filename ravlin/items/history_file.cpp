#include "ravlin/items/history_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ravlin/base/file_rewrite.h"
#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"

namespace {

// The accepted text first, then every remembered line that differs from it.
std::string history_text(const HistoryTable& history, const char* chosen)
{
    std::string text = chosen;
    text += '\n';
    int32_t count = history.count < HistoryTable::slot_count ? history.count
                                                              : HistoryTable::slot_count;
    for (int32_t i = 0; i < count; ++i)
        if (std::strcmp(history.slots[i], chosen) != 0) {
            text += history.slots[i];
            text += '\n';
        }
    return text;
}

}  // namespace

FILE* open_history(const char* path)
{
    int fd = open_rewritten_file(path);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "r");
    if (!file)
        close(fd);
    return file;
}

void save_history(const MenuState& m, const Settings& s, const char* chosen)
{
    if (!s.history_path || !*s.history_path || !*chosen)
        return;
    rewrite_file(s.history_path, history_text(m.history, chosen));
}
