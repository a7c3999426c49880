// ravlin-apps: offers the applications of the installed desktop entries in
// the menu, the last ones started first, and starts the one chosen.
//   ravlin-apps [ravlin options...]

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "application_search.h"
#include "detached_start.h"
#include "launch_history.h"
#include "menu_choice.h"
#include "menu_lines.h"
#include "program_path.h"
#include "ravlin/base/standard_descriptors.h"
#include "ravlin/base/xdg_dirs.h"

namespace {

// The menu on $PATH, so that a wrapper of the user's wins; else the one
// installed beside this program, for a $PATH that lacks its directory.
std::string menu_program(const std::string& search_path)
{
    std::string found = find_program("ravlin", search_path);
    if (!found.empty())
        return found;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self);
    if (n > 0 && static_cast<size_t>(n) < sizeof self) {
        std::string dir(self, static_cast<size_t>(n));
        dir.resize(dir.rfind('/') + 1);
        found = find_program(dir + "ravlin", "");
    }
    return found.empty() ? "ravlin" : found;
}

}  // namespace

int main(int argc, char** argv)
{
    // With standard input closed, the pipe to the menu would take
    // descriptor 0 and lose its read end across the menu's exec.
    if (open_standard_descriptors() < 0) {
        perror("ravlin-apps: cannot open /dev/null");
        return 1;
    }
    setlocale(LC_COLLATE, "");
    signal(SIGPIPE, SIG_IGN);
    // Inherited as ignored, it would keep the menu's exit status from us.
    signal(SIGCHLD, SIG_DFL);

    ListingContext context = listing_context_from_environment();
    std::vector<DesktopEntry> entries = find_applications(
        application_dirs(getenv("XDG_DATA_HOME"), getenv("XDG_DATA_DIRS"), home_directory().c_str()),
        context);
    std::string history_file = history_path();
    std::vector<std::string> history = read_history(history_file);
    order_for_menu(entries, history);
    std::vector<std::string> lines = menu_lines(entries);

    MenuChoice choice =
        ask_menu(menu_program(context.search_path), {argv + 1, argv + argc}, lines);
    if (choice.status != 0 || choice.line.empty())
        return 1;
    auto found = std::find(lines.begin(), lines.end(), choice.line);
    if (found == lines.end()) {
        fprintf(stderr, "ravlin-apps: no application is called \"%s\"\n", choice.line.c_str());
        return 1;
    }
    const DesktopEntry& entry = entries[static_cast<size_t>(found - lines.begin())];
    std::vector<std::string> command =
        entry.terminal ? in_terminal(entry.argv, getenv("TERMINAL")) : entry.argv;
    StartFailure failure = start_detached(command, entry.working_directory);
    switch (failure.step) {
    case StartFailure::none:
        record_launch(history_file, entry.id, history);
        return 0;
    case StartFailure::fork:
        fprintf(stderr, "ravlin-apps: cannot start %s: %s\n", entry.id.c_str(),
                strerror(failure.error));
        break;
    case StartFailure::directory:
        fprintf(stderr, "ravlin-apps: cannot enter %s: %s\n", entry.working_directory.c_str(),
                strerror(failure.error));
        break;
    case StartFailure::program:
        fprintf(stderr, "ravlin-apps: cannot run %s: %s\n", command[0].c_str(),
                strerror(failure.error));
        break;
    }
    return 1;
}
