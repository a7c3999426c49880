// The menu on a private headless sway, taken by grim: a list of programs
// with a query typed, for the README. Writes a binary PPM of the output's
// top, which scripts/screenshots turns into docs/wayland.png.
//   wayland_screenshot OUTPUT.ppm
#include <iostream>

#include "harness/harness.h"
#include "harness/sway.h"

using namespace harness;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: wayland_screenshot OUTPUT.ppm\n";
        return 2;
    }
    if (auto reason = Sway::unavailable()) {
        std::cerr << "wayland_screenshot: " << *reason << "\n";
        return 1;
    }
    Sway sway({{"output HEADLESS-1 resolution 800x170 bg #4b1248 solid_color"}});
    auto menu = sway.start_menu({"-l", "6", "-p", "run:", "-fn", "DejaVu Sans:pixelsize=14"},
                                "firefox\nfortune\nfind\nfzy\nfile\nfree\nfc-list\nfmt\nfold\n");
    sway.wait_for_screenshot([](const XClient::Image& i) { return i.at(2, 2) != 0x4b1248; });
    sway.wtype({"fo"});
    XClient::Image before = sway.screenshot();
    // The redraw for the last key.
    XClient::Image shot = sway.wait_for_screenshot(
        [&](const XClient::Image& i) { return i.pixels != before.pixels; }, 1000ms);
    shot.save_ppm(argv[1]);
    sway.wtype({"-k", "Escape"});
    menu->wait();
    return 0;
}
