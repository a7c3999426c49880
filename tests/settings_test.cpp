// The command-line scan, the resources and the defaults, without a display.
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xresource.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "ravlin/control/settings.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/filters.h"
#include "ravlin/x11/resources.h"

namespace {

struct Scan {
    ScanResult result;
    Settings settings;
};

Scan scan(std::initializer_list<const char*> arguments)
{
    // The scan keeps pointers into argv, so the strings must outlive it.
    static std::vector<std::vector<std::string>> keep;
    keep.emplace_back();
    auto& strings = keep.back();
    strings.push_back("ravlin");
    for (const char* a : arguments)
        strings.push_back(a);
    std::vector<char*> argv;
    for (auto& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    Scan out{ScanResult::run, Settings{}};
    out.result = scan_command_line(static_cast<int>(strings.size()), argv.data(), out.settings);
    return out;
}

TEST(CommandLine, NoArgumentsKeepsTheDefaults)
{
    Scan s = scan({});
    ASSERT_EQ(s.result, ScanResult::run);
    EXPECT_FALSE(s.settings.bottom);
    EXPECT_EQ(s.settings.lines, 0u);
    EXPECT_EQ(s.settings.screen, -1);
    EXPECT_EQ(s.settings.font_name, nullptr);
    EXPECT_STREQ(s.settings.instance_name, "ravlin");
    EXPECT_STREQ(s.settings.class_name, "Ravlin");
    EXPECT_EQ(s.settings.match.filter, &filter_ranked);
    EXPECT_EQ(s.settings.match.prefix_cmp, default_match_functions().prefix_cmp);
    apply_defaults(s.settings);
    EXPECT_STREQ(s.settings.normal_bg_color, "#222222");
    EXPECT_STREQ(s.settings.normal_fg_color, "#bbbbbb");
    EXPECT_STREQ(s.settings.selected_bg_color, "#005577");
    EXPECT_STREQ(s.settings.selected_fg_color, "#eeeeee");
    EXPECT_STREQ(s.settings.shade_color, "#000000");
    EXPECT_STREQ(s.settings.underline_color, "#005577");
    EXPECT_EQ(s.settings.opacity, 1.0);
    EXPECT_EQ(s.settings.shade_opacity, 0.0);
}

TEST(CommandLine, OptionsMatchOnlyWholeArguments)
{
    EXPECT_EQ(scan({"-l10"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"--b", "-q"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-bq", "-q"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-B", "-q"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"word", "-q"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-q", "word"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-mask"}).result, ScanResult::run);
    EXPECT_EQ(scan({"-masked"}).result, ScanResult::usage);
}

TEST(CommandLine, VersionStopsTheScanWhereItStands)
{
    EXPECT_EQ(scan({"-v", "-bogus"}).result, ScanResult::version);
    EXPECT_EQ(scan({"-bogus", "-v"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-l", "-v"}).result, ScanResult::run);
    Scan prompt = scan({"-p", "-v"});
    EXPECT_EQ(prompt.result, ScanResult::run);
    EXPECT_STREQ(prompt.settings.prompt, "-v");
}

TEST(CommandLine, ValueOptionInLastPlaceGivesUsageButFlagsDoNot)
{
    EXPECT_EQ(scan({"-l"}).result, ScanResult::usage);
    EXPECT_EQ(scan({"-b", "-p"}).result, ScanResult::usage);
    Scan flag = scan({"-l", "3", "-b"});
    EXPECT_EQ(flag.result, ScanResult::run);
    EXPECT_TRUE(flag.settings.bottom);
    EXPECT_EQ(flag.settings.lines, 3u);
}

TEST(CommandLine, TrailingHistForgetsTheHistoryFile)
{
    Scan set = scan({"-hist", "/tmp/h"});
    EXPECT_STREQ(set.settings.history_path, "/tmp/h");
    Scan reset = scan({"-hist", "/tmp/h", "-hist"});
    EXPECT_EQ(reset.result, ScanResult::run);
    EXPECT_EQ(reset.settings.history_path, nullptr);
    // The value of -hist is never an option, even -v.
    EXPECT_STREQ(scan({"-hist", "-v"}).settings.history_path, "-v");
}

TEST(CommandLine, LaterOccurrenceWins)
{
    Scan s = scan({"-l", "3", "-l", "7", "-p", "a", "-p", "b", "-nb", "red", "-nb", "blue"});
    EXPECT_EQ(s.settings.lines, 7u);
    EXPECT_STREQ(s.settings.prompt, "b");
    EXPECT_STREQ(s.settings.normal_bg_color, "blue");
}

TEST(CommandLine, EveryValueOptionLandsInItsField)
{
    Scan s = scan({"-x", "5", "-y", "-6", "-w", "300", "-h", "20", "-uh", "3", "-s", "1",
                   "-name", "n", "-class", "c", "-o", "0.5", "-dim", "0.25", "-dc", "dc",
                   "-uc", "uc", "-fn", "fn", "-nf", "nf", "-sb", "sb", "-sf", "sf"});
    ASSERT_EQ(s.result, ScanResult::run);
    const Settings& t = s.settings;
    EXPECT_EQ(t.x_offset, 5);
    EXPECT_EQ(t.y_offset, -6);
    EXPECT_EQ(t.requested_width, 300);
    EXPECT_EQ(t.min_line_height, 20u);
    EXPECT_EQ(t.underline_height, 3);
    EXPECT_EQ(t.screen, 1);
    EXPECT_STREQ(t.instance_name, "n");
    EXPECT_STREQ(t.class_name, "c");
    EXPECT_EQ(t.opacity, 0.5);
    EXPECT_EQ(t.shade_opacity, 0.25);
    EXPECT_STREQ(t.shade_color, "dc");
    EXPECT_STREQ(t.underline_color, "uc");
    EXPECT_STREQ(t.font_name, "fn");
    EXPECT_STREQ(t.normal_fg_color, "nf");
    EXPECT_STREQ(t.selected_bg_color, "sb");
    EXPECT_STREQ(t.selected_fg_color, "sf");
    Scan flags = scan({"-b", "-q", "-f", "-r", "-mask", "-noinput"});
    EXPECT_TRUE(flags.settings.bottom && flags.settings.quiet && flags.settings.grab_first &&
                flags.settings.print_all && flags.settings.mask_input && flags.settings.no_input);
}

TEST(CommandLine, NumbersConvertLikeAtoiAndAtof)
{
    Scan s = scan({"-x", "  12abc", "-y", "abc", "-w", "+7", "-s", "", "-o", "word", "-dim", "2e-1x"});
    EXPECT_EQ(s.settings.x_offset, 12);
    EXPECT_EQ(s.settings.y_offset, 0);
    EXPECT_EQ(s.settings.requested_width, 7);
    EXPECT_EQ(s.settings.screen, 0);
    EXPECT_EQ(s.settings.opacity, 0.0);
    EXPECT_DOUBLE_EQ(s.settings.shade_opacity, 0.2);
    // Negative counts are kept as their unsigned image.
    Scan lines = scan({"-l", "-1", "-h", "-2"});
    EXPECT_EQ(lines.settings.lines, 0xffffffffu);
    EXPECT_EQ(lines.settings.min_line_height, 0xfffffffeu);
}

TEST(CommandLine, ZeroOpacityBecomesOpaqueButNanStays)
{
    for (const char* value : {"0", "-0", "", "none"}) {
        Scan s = scan({"-o", value});
        apply_defaults(s.settings);
        EXPECT_EQ(s.settings.opacity, 1.0) << value;
    }
    Scan nan = scan({"-o", "nan"});
    apply_defaults(nan.settings);
    EXPECT_TRUE(std::isnan(nan.settings.opacity));
}

TEST(CommandLine, LaterOfFuzzyAndTokensWinsAndCaseFoldingCombines)
{
    EXPECT_EQ(scan({"-z", "-t"}).settings.match.filter, &filter_tokens);
    EXPECT_EQ(scan({"-t", "-z"}).settings.match.filter, &filter_fuzzy);
    Scan folded = scan({"-i", "-z"});
    EXPECT_EQ(folded.settings.match.filter, &filter_fuzzy);
    EXPECT_EQ(folded.settings.match.prefix_cmp, &prefix_cmp_nocase);
    EXPECT_EQ(folded.settings.match.substr_find, &substr_find_nocase);
    EXPECT_EQ(folded.settings.match.char_find, &char_find_nocase);
    Scan tokens = scan({"-t", "-i"});
    EXPECT_EQ(tokens.settings.match.filter, &filter_tokens);
    EXPECT_EQ(tokens.settings.match.substr_find, &substr_find_nocase);
}

TEST(CommandLine, EmptyPromptCountsAsSet)
{
    Scan s = scan({"-p", ""});
    ASSERT_NE(s.settings.prompt, nullptr);
    EXPECT_STREQ(s.settings.prompt, "");
}

TEST(UsageText, IsFiveLinesIndentedByThirteenBlanks)
{
    std::string text = usage_text;
    EXPECT_EQ(text.rfind("usage: ravlin [-b] [-q] [-f] [-r] [-i] [-z] [-t] [-mask] [-noinput]\n", 0), 0u);
    EXPECT_NE(text.find("\n             [-s screen] [-name name] [-class class] [ -o opacity]\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n             [-nb color] [-nf color] [-sb color] [-sf color] [-uc color] "
                        "[-hist histfile] [-v]\n"),
              std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() { XrmInitialize(); }
};

TEST_F(Resources, FillOnlyUnsetTextsWhileOpacityAlwaysWins)
{
    Scan s = scan({"-nb", "#010101", "-o", "0.9"});
    apply_resource_string(s.settings,
                          "ravlin.background: #020202\n"
                          "ravlin.foreground: #030303\n"
                          "ravlin.font: DejaVu Sans Mono:size=9\n"
                          "ravlin.selbackground: #040404\n"
                          "ravlin.opacity: 0.5\n");
    apply_defaults(s.settings);
    EXPECT_STREQ(s.settings.normal_bg_color, "#010101");
    EXPECT_STREQ(s.settings.normal_fg_color, "#030303");
    EXPECT_STREQ(s.settings.font_name, "DejaVu Sans Mono:size=9");
    EXPECT_EQ(s.settings.opacity, 0.5);
    // The underline follows the final selected background.
    EXPECT_STREQ(s.settings.underline_color, "#040404");
}

TEST_F(Resources, EveryResourceNameIsRead)
{
    Settings s;
    apply_resource_string(s,
                          "ravlin.selforeground: sf\nravlin.dimcolor: dc\nravlin.undercolor: uc\n");
    EXPECT_STREQ(s.selected_fg_color, "sf");
    EXPECT_STREQ(s.shade_color, "dc");
    EXPECT_STREQ(s.underline_color, "uc");
}

TEST_F(Resources, NamesIgnoreInstanceAndClassOptions)
{
    Scan s = scan({"-name", "other", "-class", "Other"});
    apply_resource_string(s.settings, "other.background: #111111\nOther.background: #121212\n");
    EXPECT_EQ(s.settings.normal_bg_color, nullptr);
}

TEST_F(Resources, MissingStringOrOpacityChangesNothing)
{
    Scan s = scan({"-o", "0.3"});
    apply_resource_string(s.settings, nullptr);
    apply_resource_string(s.settings, "ravlin.background: #111111\n");
    EXPECT_DOUBLE_EQ(s.settings.opacity, 0.3);
    // A zero opacity resource means opaque, like -o 0.
    apply_resource_string(s.settings, "ravlin.opacity: 0\n");
    apply_defaults(s.settings);
    EXPECT_EQ(s.settings.opacity, 1.0);
}

}  // namespace
