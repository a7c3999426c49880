#pragma once

struct MenuState;
struct Settings;
struct ColorPair;

enum class Selection { primary, clipboard };

// Everything the menu asks of the display system, as one table of routines
// chosen once at start-up (MenuState::platform). run_menu calls them in the
// order of a run; the event loop calls back into the core (handle_key,
// receive_paste, wait_for_completion) and never the other way round.
struct Platform {
    const char* name;
    // Sets the locale and connects. False when this platform cannot serve
    // here, so that the next one is tried; a fatal error ends through fail.
    bool (*open)(MenuState& m);
    // Fills what the command line left unset from the platform's own
    // configuration (X resources); the opacity resource always wins.
    void (*apply_resources)(MenuState& m, Settings& s);
    // Loads the font by name and makes m.canvas (and m.measurer) with it.
    void (*load_font)(MenuState& m, const char* name);
    // Allocates a pair of colours by name, or fails with the name.
    ColorPair (*load_colors)(MenuState& m, const char* fg_name, const char* bg_name);
    // Takes the keyboard, or fails with "cannot grab keyboard".
    void (*grab_keyboard)(MenuState& m, const Settings& s);
    // Chooses the monitor and where the bar goes on it; sets m.bar_width.
    void (*place_bar)(MenuState& m, const Settings& s);
    // Makes the shading window (with -dim) and the bar, shows them and
    // sizes the canvas to the bar; the first drawing follows.
    void (*show_bar)(MenuState& m, Settings& s);
    // Asks for the text of a selection; it arrives through receive_paste.
    void (*request_paste)(MenuState& m, Selection selection);
    // Runs until m.finished.
    void (*run_event_loop)(MenuState& m, const Settings& s);
    // Lets go of the keyboard and takes the bar off the screen.
    void (*release_keyboard)(MenuState& m, const Settings& s);
    // Releases the colours, the windows, the font and the connection.
    void (*close)(MenuState& m, const Settings& s);
};
