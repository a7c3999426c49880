#include "ravlin/items/entry_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/base/text_measurer.h"
#include "ravlin/items/history_file.h"
#include "ravlin/items/line_reader.h"

namespace {

void remember_history_line(HistoryTable& history, const char* label, size_t n)
{
    if (history.count >= HistoryTable::slot_count)
        return;
    char* slot = history.slots[history.count];
    std::memcpy(slot, label, n);
    slot[n] = '\0';
    ++history.count;
}

}  // namespace

void load_entries(MenuState& m, Settings& s, FILE* input)
{
    LineReader reader;
    // Standard input redirected from a file has a size: its labels then go
    // into one block made once, which takes no more fresh pages than they
    // fill, where doubling blocks leave the last one partly unused. The
    // labels need at most the file's bytes, a NUL for a last line without
    // a newline and one for each 1023-byte piece of a long line.
    struct stat status;
    int fd = fileno(input);
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        off_t at = lseek(fd, 0, SEEK_CUR);
        if (at >= 0 && status.st_size > at) {
            size_t left = static_cast<size_t>(status.st_size - at);
            reader.labels.block_size = std::max(reader.labels.block_size, left + left / 1023 + 2);
        }
    }
    load_entries(m, s, input, reader);
}

void load_entries(MenuState& m, Settings& s, FILE* input, LineReader& r)
{
    if (s.history_path) {
        if (FILE* file = open_history(s.history_path)) {
            size_t n;
            while ((n = take_line(file, r)) != no_line)
                remember_history_line(m.history, r.entries[r.count - 1].label, n);
            std::fclose(file);
            // The next stream may get the closed one's address.
            r.source = nullptr;
        }
    }
    while (take_line(input, r) != no_line) {
    }

    if (r.entries) {
        r.entries[r.count].label = nullptr;
        m.entries = r.entries;
        // Without the record the filters only lose their block search; the
        // labels stay where they are either way.
        m.loaded = new (std::nothrow) LoadedEntries{r.entries, r.count, r.capacity, std::move(r.labels)};
        r.entries = nullptr;
        r.labels = LabelStore();
    }
    m.input_width = r.longest && m.measurer ? padded_width(*m.measurer, r.longest) : 0;
    if (r.count < s.lines)
        s.lines = static_cast<uint32_t>(r.count);
}

const LoadedEntries* loaded_layout(const MenuState& m)
{
    return m.loaded && m.loaded->entries == m.entries ? m.loaded : nullptr;
}

void release_entries(MenuState& m)
{
    release_loaded(m.loaded);
    m.loaded = nullptr;
    m.entries = nullptr;
}
