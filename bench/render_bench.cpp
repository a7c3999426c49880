// Cost of one redraw of a full vertical page on a real server: 20 lines of
// 1023-byte labels, with an Xft font and a core font. The same page is also
// drawn with every text fitted by the plain walk (every prefix measured from
// the longest down), the rule the search replaces, and the fitting alone is
// timed both ways. Pages in other scripts are timed against a peer page in
// the same loop, in a font without Chinese, Japanese, Korean or emoji
// (those come from fallback fonts): a page of such words against the Latin
// page, plain ASCII against it too, and an emoji picker against the names.
// Starts its own Xvfb.
//
//   render_bench --benchmark_filter=Render

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/page_bounds.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/drawing/text_fitting.h"
#include "ravlin/items/filters.h"
#include "ravlin/x11/font_fallback.h"
#include "ravlin/x11/surface.h"

namespace {

pid_t server_pid = -1;

void stop_server()
{
    if (server_pid > 0) {
        kill(server_pid, SIGTERM);
        waitpid(server_pid, nullptr, 0);
    }
}

// Starts a private Xvfb and points DISPLAY at it; the server names its
// display number on the pipe once it accepts connections.
void start_server()
{
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    server_pid = fork();
    if (server_pid == 0) {
        close(fds[0]);
        std::freopen("/dev/null", "w", stderr);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        std::exit(1);
    }
    std::atexit(stop_server);
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
}

// The words a page is made of. Latin: words of mixed lengths, some with
// accents. Mixed: words in Chinese, Japanese and Korean, a few emoji and
// Latin words, as file names and titles from everywhere. Ascii: the Latin
// words without accents. Emoji and names: an emoji picker, twenty short
// lines of a different emoji and its name each, and the names alone.
enum class Script { latin, mixed, ascii, emoji, names, symbols };
const char* const script_names[] = {"latin", "mixed", "ascii", "emoji", "names", "symbols"};

const std::vector<std::string>& words_of(Script script)
{
    static const std::vector<std::string> latin = {
        "alpha", "beta", "gamma", "d\xc3\xa9j\xc3\xa0", "vu", "lorem", "ipsum", "WIDE", "i",
        "caf\xc3\xa9", "/usr/share/doc", "x86_64", "M"};
    static const std::vector<std::string> mixed = {
        "\xe5\x86\x99\xe7\x9c\x9f",              // 写真
        "\xe5\x8c\x97\xe6\xb5\xb7\xe9\x81\x93",  // 北海道
        "\xe4\xbc\x9a\xe8\xae\xae\xe7\xba\xaa\xe8\xa6\x81",  // 会议纪要
        "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab",  // ファイル
        "\xec\x84\x9c\xec\x9a\xb8",              // 서울
        "\xec\xa7\x80\xed\x95\x98\xec\xb2\xa0",  // 지하철
        "\xf0\x9f\x98\x80", "\xf0\x9f\x8e\x89", "\xf0\x9f\x91\x8d",  // 😀 🎉 👍
        "report", "2024", "caf\xc3\xa9", "/home/notes", "M"};
    static const std::vector<std::string> ascii = {
        "alpha", "beta", "gamma", "deja", "vu", "lorem", "ipsum", "WIDE", "i",
        "cafe", "/usr/share/doc", "x86_64", "M"};
    return script == Script::latin ? latin : script == Script::mixed ? mixed : ascii;
}

// Words picked at random up to 1023 bytes, filled up with z; for the
// picker, line i.
std::string long_label(std::mt19937& random, Script script, int i)
{
    if (script == Script::emoji || script == Script::names || script == Script::symbols) {
        std::string name = "face number " + std::to_string(i);
        if (script == Script::names)
            return name;
        // The emoticons, or the miscellaneous symbols: most of those are
        // in no colour font, and in different fallbacks.
        char32_t c = (script == Script::emoji ? 0x1F600 : 0x26B0) + static_cast<char32_t>(i);
        if (c < 0x10000)
            return std::string{static_cast<char>(0xE0 | (c >> 12)),
                               static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                               static_cast<char>(0x80 | (c & 0x3F))} +
                   " " + name;
        return std::string{'\xf0', static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                           static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                           static_cast<char>(0x80 | (c & 0x3F))} +
               " " + name;
    }
    const std::vector<std::string>& words = words_of(script);
    std::uniform_int_distribution<size_t> pick(0, words.size() - 1);
    std::string label;
    for (;;) {
        const std::string& word = words[pick(random)];
        if (label.size() + word.size() + 1 > 1023)
            break;
        label += word + " ";
    }
    label.append(1023 - label.size(), 'z');
    return label;
}

struct Page {
    std::vector<std::string> labels;
    std::vector<Entry> entries;
    MenuState m;
    Settings s;
    Surface* surface = nullptr;
    SurfaceCanvas* canvas = nullptr;
};

// A 1280-pixel bar with a prompt and 20 list lines, all matched.
Page& page_with_font(const char* font_name, Script script = Script::latin)
{
    static std::vector<std::pair<std::string, Page*>> pages;
    std::string key = font_name + std::string(1, static_cast<char>('0' + static_cast<int>(script)));
    for (auto& [name, page] : pages)
        if (name == key)
            return *page;
    if (server_pid < 0)
        start_server();
    auto* page = new Page;
    pages.emplace_back(key, page);
    MenuState& m = page->m;
    Settings& s = page->s;
    page->surface = open_surface();
    Surface& surface = *page->surface;
    load_font(surface, font_name);
    page->canvas = new SurfaceCanvas(surface);
    m.canvas = page->canvas;
    m.measurer = page->canvas;
    m.normal_colors = page->canvas->add_colors(*make_color_pair(surface, "#bbbbbb", "#222222"));
    m.selected_colors = page->canvas->add_colors(*make_color_pair(surface, "#eeeeee", "#005577"));
    m.underline_colors = page->canvas->add_colors(*make_color_pair(surface, "#005577", "#005577"));
    s.lines = 20;
    s.prompt = "open:";
    m.line_height = surface.font.height + 2;
    m.bar_width = 1280;
    m.bar_height = m.line_height * 21;
    m.prompt_width = padded_width(*m.measurer, s.prompt);

    std::mt19937 random(42);
    for (int i = 0; i < 20; ++i)
        page->labels.push_back(long_label(random, script, i));
    for (std::string& label : page->labels)
        page->entries.push_back({label.data(), nullptr, nullptr});
    page->entries.push_back({nullptr, nullptr, nullptr});
    m.entries = page->entries.data();
    for (Entry* e = m.entries; e->label; ++e)
        chain_append(e, m.match_head, m.match_tail);
    m.selected = m.page_first = m.match_head->after;
    compute_page_bounds(m, s);

    Display* display = surface.display;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0,
                                  static_cast<unsigned>(m.bar_width),
                                  static_cast<unsigned>(m.bar_height), 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    size_canvas(surface, static_cast<uint32_t>(m.bar_width), static_cast<uint32_t>(m.bar_height));
    page->canvas->show_on(window, static_cast<uint32_t>(m.bar_width),
                          static_cast<uint32_t>(m.bar_height));
    XSync(display, False);
    return *page;
}

const char* const xft_font = "DejaVu Sans:pixelsize=14";
const char* const core_font = "fixed";
// Has no Chinese, Japanese, Korean or emoji: those come from fallback fonts.
const char* const mono_font = "DejaVu Sans Mono:pixelsize=14";

const char* font_of(const benchmark::State& state)
{
    return state.range(0) == 0 ? xft_font : core_font;
}

// What render_bar does for this page (empty input, no mask), fitting by walk.
void render_list_walked(MenuState& m, const Settings& s)
{
    Canvas& canvas = *m.canvas;
    int32_t height = canvas.font_height();
    Rect cell = {0, 0, m.prompt_width, m.line_height};
    canvas.fill_rect(0, 0, static_cast<uint32_t>(m.bar_width), static_cast<uint32_t>(m.bar_height),
                     m.normal_colors.bg);
    paint_text_fitted(canvas, cell, s.prompt, m.selected_colors, fit_text_length_walk);
    canvas.fill_rect(0, cell.h - s.underline_height, static_cast<uint32_t>(cell.w),
                     static_cast<uint32_t>(s.underline_height), m.underline_colors.bg);
    cell.x = cell.w;
    cell.w = m.bar_width - cell.x;
    paint_text_fitted(canvas, cell, m.input, m.normal_colors, fit_text_length_walk);
    int32_t cursor_x = height / 2 + canvas.text_advance(m.input, m.cursor);
    if (cursor_x < cell.w)
        canvas.fill_rect(cell.x + cursor_x, (cell.h - height) / 2 + 1, 1,
                         static_cast<uint32_t>(height - 1), m.normal_colors.fg);
    for (Entry* e = m.page_first; e && e != m.page_next; e = e->after) {
        cell.y += cell.h;
        paint_text_fitted(canvas, cell, e->label,
                          e == m.selected ? m.selected_colors : m.normal_colors,
                          fit_text_length_walk);
    }
    canvas.present();
}

// One redraw, until the server has drawn it.
void BM_RenderBar(benchmark::State& state)
{
    Page& page = page_with_font(font_of(state));
    for (auto _ : state) {
        render_bar(page.m, page.s);
        XSync(page.surface->display, False);
    }
    state.SetLabel(font_of(state));
}
BENCHMARK(BM_RenderBar)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RenderBarWalk(benchmark::State& state)
{
    Page& page = page_with_font(font_of(state));
    for (auto _ : state) {
        render_list_walked(page.m, page.s);
        XSync(page.surface->display, False);
    }
    state.SetLabel(font_of(state));
}
BENCHMARK(BM_RenderBarWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Fitting one 1023-byte label into a list line, without drawing.
void BM_FitText(benchmark::State& state)
{
    Page& page = page_with_font(font_of(state));
    int32_t width = page.m.bar_width - page.m.prompt_width;
    for (auto _ : state)
        benchmark::DoNotOptimize(fit_text_length(*page.canvas, page.labels[0].c_str(), width));
    state.SetLabel(font_of(state));
}
BENCHMARK(BM_FitText)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_FitTextWalk(benchmark::State& state)
{
    Page& page = page_with_font(font_of(state));
    int32_t width = page.m.bar_width - page.m.prompt_width;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            fit_text_length_walk(*page.canvas, page.labels[0].c_str(), width));
    state.SetLabel(font_of(state));
}
BENCHMARK(BM_FitTextWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One redraw of a page of this script and one of its peer, in turn in the
// same loop; "ratio" is the page's time over the peer's.
void BM_RenderAgainstPeer(benchmark::State& state)
{
    auto script = static_cast<Script>(state.range(0));
    auto peer_script = static_cast<Script>(state.range(1));
    Page& page = page_with_font(mono_font, script);
    Page& peer = page_with_font(mono_font, peer_script);
    using Clock = std::chrono::steady_clock;
    auto redraw = [](Page& p) {
        Clock::time_point start = Clock::now();
        render_bar(p.m, p.s);
        XSync(p.surface->display, False);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    double page_time = 0, peer_time = 0;
    for (auto _ : state) {
        page_time += redraw(page);
        peer_time += redraw(peer);
    }
    auto per_redraw = [&](double seconds) {
        return benchmark::Counter(seconds * 1e3 / static_cast<double>(state.iterations()));
    };
    state.counters["page_ms"] = per_redraw(page_time);
    state.counters["peer_ms"] = per_redraw(peer_time);
    state.counters["ratio"] = page_time / peer_time;
    state.SetLabel(std::string(script_names[state.range(0)]) + " against " +
                   script_names[state.range(1)]);
}
BENCHMARK(BM_RenderAgainstPeer)
    ->Args({static_cast<int>(Script::mixed), static_cast<int>(Script::latin)})
    ->Args({static_cast<int>(Script::ascii), static_cast<int>(Script::latin)})
    ->Args({static_cast<int>(Script::emoji), static_cast<int>(Script::names)})
    ->Unit(benchmark::kMillisecond);

// The first drawing of a page: every character met for the first time, as
// at start-up. Each round lays the page out with fallbacks that know
// nothing yet (the fonts they open stay in Xft's cache, so opening is
// cheap after the first round: what is left is finding the fonts and the
// glyphs), and its peer, the names alone, in the same loop.
void BM_FirstPageAgainstPeer(benchmark::State& state)
{
    auto script = static_cast<Script>(state.range(0));
    Page& page = page_with_font(mono_font, script);
    Page& peer = page_with_font(mono_font, Script::names);
    using Clock = std::chrono::steady_clock;
    auto first_layout = [](Page& p) {
        Surface& surface = *p.surface;
        Clock::time_point start = Clock::now();
        FontFallback fresh(surface.display, surface.font.xft_font, mono_font);
        for (const std::string& label : p.labels)
            benchmark::DoNotOptimize(
                fresh.lay_out(label.c_str(), static_cast<int32_t>(label.size())).width);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    double page_time = 0, peer_time = 0;
    for (auto _ : state) {
        page_time += first_layout(page);
        peer_time += first_layout(peer);
    }
    auto per_page = [&](double seconds) {
        return benchmark::Counter(seconds * 1e3 / static_cast<double>(state.iterations()));
    };
    state.counters["page_ms"] = per_page(page_time);
    state.counters["peer_ms"] = per_page(peer_time);
    state.counters["ratio"] = page_time / peer_time;
    state.SetLabel(std::string(script_names[state.range(0)]) + " against names");
}
BENCHMARK(BM_FirstPageAgainstPeer)
    ->Arg(static_cast<int>(Script::emoji))
    ->Arg(static_cast<int>(Script::symbols))
    ->Unit(benchmark::kMillisecond);

// text_extent of one whole 1023-byte label, as the layout asks it.
void BM_TextExtent(benchmark::State& state)
{
    auto script = static_cast<Script>(state.range(0));
    Page& page = page_with_font(mono_font, script);
    const std::string& label = page.labels[0];
    for (auto _ : state)
        benchmark::DoNotOptimize(
            text_extent(*page.surface, label.c_str(), static_cast<int32_t>(label.size())));
    state.SetLabel(script_names[state.range(0)]);
}
BENCHMARK(BM_TextExtent)
    ->Arg(static_cast<int>(Script::ascii))
    ->Arg(static_cast<int>(Script::latin))
    ->Arg(static_cast<int>(Script::mixed))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
