// Runs the launchers of an unpacked package on a private virtual display:
// ravlin-run starts a program picked from its list by typing part of its
// name, ravlin-apps the application of a scratch desktop entry. Prints one
// "ok" or "FAIL" line for each; exit status 1 when one failed.
//   package_check ROOT   (ROOT: the tree that dpkg-deb -x made)
#include <X11/keysym.h>
#include <sys/stat.h>

#include <iostream>

#include "harness/harness.h"

using namespace harness;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: package_check ROOT\n";
        return 2;
    }
    std::string bin = std::string(argv[1]) + "/usr/bin";
    TempDir dir;
    mkdir((dir / "bin").c_str(), 0755);
    write_file(dir / "bin/package-check-mark", "#!/bin/sh\necho \"ran:$*\" > \"$MARK\"\n");
    chmod((dir / "bin/package-check-mark").c_str(), 0755);
    mkdir((dir / "data").c_str(), 0755);
    mkdir((dir / "data/applications").c_str(), 0755);
    write_file(dir / "data/applications/check.desktop",
               "[Desktop Entry]\nType=Application\nName=Package Check\n"
               "Exec=package-check-mark from-apps %U\n");

    XServer server;
    XClient client(server.display_name());
    int failures = 0;
    auto launch = [&](const std::string& command, const std::string& typed,
                      const std::string& expected) {
        unlink((dir / "mark").c_str());
        Process::Options options;
        // The packaged programs first, so each finds its own fellows.
        options.env = {server.env(),
                       "PATH=" + bin + ":" + dir / "bin" + ":/usr/bin:/bin",
                       "HOME=" + dir / "home",
                       "XDG_CACHE_HOME=" + dir / "cache",
                       "XDG_STATE_HOME=" + dir / "state",
                       "XDG_DATA_HOME=" + dir / "data",
                       "XDG_DATA_DIRS=" + dir / "none",
                       "MARK=" + dir / "mark"};
        options.pipe_stdin = false;
        Process launcher({bin + "/" + command}, options);
        std::string problem;
        if (client.wait_for_window("ravlin", "Ravlin") == None) {
            problem = "no menu appeared";
        } else {
            client.type(typed);
            client.key(XK_Return);
            std::optional<int> status = launcher.wait();
            if (status != 0)
                problem = "exit status " + std::to_string(status.value_or(-1));
            else if (!wait_until([&] { return read_file(dir / "mark") == expected; }))
                problem = "the chosen program did not run";
        }
        if (problem.empty()) {
            std::cout << "ok - " << command << " started the chosen program\n";
        } else {
            ++failures;
            std::cout << "FAIL - " << command << ": " << problem << "\n" << launcher.err();
        }
    };
    launch("ravlin-run", "package-check-m", "ran:\n");
    launch("ravlin-apps", "Package", "ran:from-apps\n");
    return failures ? 1 : 0;
}
