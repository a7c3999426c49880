// Desktop entry files: the key file syntax, the localized name, the rules
// that leave an entry out, the search directories and the menu lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness/harness.h"
#include "ravlin-apps/application_search.h"
#include "ravlin-apps/desktop_entry.h"
#include "ravlin-apps/key_file.h"
#include "ravlin-apps/locale_match.h"
#include "ravlin-apps/menu_lines.h"

namespace {

using Strings = std::vector<std::string>;

std::string entry_text(const std::string& keys)
{
    return "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\n" + keys;
}

TEST(DesktopEntry, ParsesTheFirstGroupOnly)
{
    std::optional<DesktopGroup> group = parse_desktop_group(
        "# comment\n\n[Desktop Entry]\n  Name = Viewer \r\nName[de_DE@euro]=Betrachter\n"
        "  # indented comment\nX-Vendor_Key.1=x\n[Desktop Action new]\nName=New\nbroken\n");
    ASSERT_TRUE(group);
    ASSERT_EQ(group->size(), 3u);
    EXPECT_EQ((*group)[0].key, "Name");
    EXPECT_EQ((*group)[0].value, "Viewer");
    EXPECT_EQ((*group)[1].locale, "de_DE@euro");
    EXPECT_EQ((*group)[1].value, "Betrachter");
    EXPECT_EQ((*group)[2].key, "X-Vendor_Key.1");

    std::optional<DesktopGroup> marked = parse_desktop_group("\xEF\xBB\xBF[Desktop Entry]\nName=V\n");
    ASSERT_TRUE(marked);
    EXPECT_EQ((*marked)[0].value, "V");
}

TEST(DesktopEntry, MalformedFilesAreRefused)
{
    const std::string cases[] = {
        "",
        "Name=Viewer\n[Desktop Entry]\n",
        "[Desktop Action new]\n[Desktop Entry]\nName=Viewer\n",
        "[Desktop Entry]\nName Viewer\n",
        "[Desktop Entry]\n=Viewer\n",
        "[Desktop Entry]\nName[de=Viewer\n",
        "[Desktop Entry]\nName[]=Viewer\n",
        "[Desktop Entry]\nNa me=Viewer\n",
        std::string("[Desktop Entry]\nName=Vie\0wer\n", 29),
        "[Desktop Entry]\nComment=" + std::string(kMaxLineLength, 'x') + "\n",
    };
    for (const std::string& text : cases)
        EXPECT_EQ(parse_desktop_group(text), std::nullopt) << text.substr(0, 40);
    EXPECT_TRUE(parse_desktop_group("[Desktop Entry]\nComment=" +
                                    std::string(kMaxLineLength - 8, 'x')));
}

TEST(DesktopEntry, StringListAndBooleanValues)
{
    EXPECT_EQ(unescape_value(R"(a\sb\tc\nd\re\\f\;g\)"), "a b\tc\nd\re\\f\\;g\\");
    EXPECT_EQ(split_list("GNOME;KDE;"), (Strings{"GNOME", "KDE"}));
    EXPECT_EQ(split_list(R"(a\;b;c\\;d;;)"), (Strings{"a;b", "c\\", "d", ""}));
    EXPECT_EQ(split_list(""), Strings{});
    EXPECT_TRUE(is_true("true"));
    EXPECT_FALSE(is_true("True"));
    EXPECT_FALSE(is_true("false"));
    EXPECT_TRUE(is_valid_utf8("Betrachter \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
    for (const char* bad : {"\xff", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
        EXPECT_FALSE(is_valid_utf8(bad)) << bad;
}

TEST(DesktopEntry, MessagesLocaleAndItsCandidates)
{
    EXPECT_EQ(messages_locale("fr_FR", "de_DE", "it_IT"), "fr_FR");
    EXPECT_EQ(messages_locale("", "de_DE", "it_IT"), "de_DE");
    EXPECT_EQ(messages_locale(nullptr, nullptr, "it_IT"), "it_IT");
    EXPECT_EQ(messages_locale(nullptr, nullptr, nullptr), "");
    EXPECT_EQ(locale_candidates("sr_RS.UTF-8@latin"),
              (Strings{"sr_RS@latin", "sr_RS", "sr@latin", "sr"}));
    EXPECT_EQ(locale_candidates("de_DE.UTF-8"), (Strings{"de_DE", "de"}));
    EXPECT_EQ(locale_candidates("ca@valencia"), (Strings{"ca@valencia", "ca"}));
    EXPECT_EQ(locale_candidates("C.UTF-8"), Strings{});
    EXPECT_EQ(locale_candidates("POSIX"), Strings{});
}

TEST(DesktopEntry, NameInTheUsersLanguage)
{
    std::string text = entry_text("Name[de]=Betrachter\nName[de_AT]=Anzeige\nName[fr]=Visionneuse\n");
    auto name_for = [&](const char* locale) {
        ListingContext context;
        context.locales = locale_candidates(locale);
        auto entry = read_desktop_entry(text, "v.desktop", "/a/v.desktop", context);
        return entry ? entry->name : "(none)";
    };
    EXPECT_EQ(name_for("de_AT.UTF-8"), "Anzeige");
    EXPECT_EQ(name_for("de_CH.UTF-8"), "Betrachter");
    EXPECT_EQ(name_for("fr_FR@euro"), "Visionneuse");
    EXPECT_EQ(name_for("ja_JP.UTF-8"), "Viewer");
    EXPECT_EQ(name_for("C"), "Viewer");
}

TEST(DesktopEntry, EntriesLeftOutOfTheMenu)
{
    ListingContext context;
    context.desktops = {"XFCE", "GNOME"};
    context.search_path = "/nonexistent:/bin:/usr/bin";
    auto offered = [&](const std::string& text) {
        return read_desktop_entry(text, "v.desktop", "/a/v.desktop", context).has_value();
    };
    EXPECT_TRUE(offered(entry_text("")));
    EXPECT_TRUE(offered(entry_text("TryExec=sh\n")));
    EXPECT_TRUE(offered(entry_text("TryExec=/bin/sh\nNoDisplay=false\n")));
    EXPECT_TRUE(offered(entry_text("OnlyShowIn=KDE;GNOME;\n")));
    EXPECT_TRUE(offered(entry_text("NotShowIn=KDE;\n")));
    EXPECT_TRUE(offered(entry_text("Name[ja]=\xff\n")));  // a translation not read

    const std::string left_out[] = {
        "[Desktop Entry]\nType=Link\nName=Viewer\nURL=https://example.org\n",
        "[Desktop Entry]\nName=Viewer\nExec=viewer\n",
        "[Desktop Entry]\nType=Application\nName=Viewer\n",
        "[Desktop Entry]\nType=Application\nName[de]=Betrachter\nExec=viewer\n",
        "[Desktop Entry]\nType=Application\nName=\nExec=viewer\n",
        "[Desktop Entry]\nType=Application\nName=Viewer\nExec=\"viewer\n",
        "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %z\n",
        "[Desktop Entry]\nType=Application\nName=Vi\xc3\nExec=viewer\n",
        entry_text("NoDisplay=true\n"),
        entry_text("Hidden=true\n"),
        entry_text("TryExec=no-such-program-here\n"),
        entry_text("TryExec=/bin\n"),
        entry_text("OnlyShowIn=KDE;\n"),
        entry_text("NotShowIn=KDE;XFCE;\nOnlyShowIn=GNOME;\n"),
        entry_text("Comment=" + std::string(kMaxLineLength + 1, 'x') + "\n"),
    };
    for (const std::string& text : left_out)
        EXPECT_FALSE(offered(text)) << text.substr(16, 60);
}

TEST(DesktopEntry, ExecPathAndTerminalOfAnEntry)
{
    ListingContext context;
    auto entry = read_desktop_entry(
        entry_text("Icon=viewer\\sicon\nPath=/srv/My\\sDir\nTerminal=true\n"
                   "Exec=\"/opt/viewer app\" --name %c %i %k %U\n"),
        "v.desktop", "/a/v.desktop", context);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->argv, (Strings{"/opt/viewer app", "--name", "Viewer", "--icon", "viewer icon",
                                    "/a/v.desktop"}));
    EXPECT_EQ(entry->working_directory, "/srv/My Dir");
    EXPECT_TRUE(entry->terminal);
}

TEST(DesktopEntry, SearchDirectoriesFollowTheBaseDirectoryRules)
{
    EXPECT_EQ(application_dirs(nullptr, nullptr, "/home/u"),
              (Strings{"/home/u/.local/share/applications", "/usr/local/share/applications",
                       "/usr/share/applications"}));
    EXPECT_EQ(application_dirs("/data/", "/a:relative::/b/:/a", "/home/u"),
              (Strings{"/data/applications", "/a/applications", "/b/applications"}));
    EXPECT_EQ(application_dirs("relative", "", "/home/u"),
              (Strings{"/home/u/.local/share/applications", "/usr/local/share/applications",
                       "/usr/share/applications"}));
    EXPECT_EQ(desktop_file_id("kde/utils/editor.desktop"), "kde-utils-editor.desktop");
}

TEST(DesktopEntry, LinksAreFollowedButNeverUpTheTree)
{
    harness::TempDir dir;
    for (const char* sub : {"share", "share/applications", "share/other", "share/more"})
        mkdir((dir / sub).c_str(), 0755);
    harness::write_file(dir / "share/applications/a.desktop", entry_text(""));
    harness::write_file(dir / "share/other/b.desktop", entry_text(""));
    harness::write_file(dir / "share/more/c.desktop", entry_text(""));
    symlink("/", (dir / "share/applications/root").c_str());
    symlink("..", (dir / "share/applications/up").c_str());
    symlink("../more", (dir / "share/applications/more").c_str());
    Strings ids;
    for (const DesktopEntry& entry : find_applications({dir / "share/applications"}, {}))
        ids.push_back(entry.id);
    EXPECT_EQ(ids, (Strings{"a.desktop", "more-c.desktop"}));
}

TEST(DesktopEntry, MenuPutsHistoryFirstAndTellsEqualNamesApart)
{
    auto entry = [](const char* id, const char* name) {
        DesktopEntry e;
        e.id = id;
        e.name = name;
        return e;
    };
    std::vector<DesktopEntry> entries = {entry("b.desktop", "Viewer"), entry("term.desktop", "Term"),
                                         entry("a.desktop", "Viewer"),
                                         entry("n.desktop", "Two\nLines"),
                                         entry("ed.desktop", "Editor")};
    order_for_menu(entries, {"term.desktop", "gone.desktop", "b.desktop"});
    EXPECT_EQ(menu_lines(entries), (Strings{"Term", "Viewer (b)", "Editor", "Two Lines",
                                            "Viewer (a)"}));

    // In C.UTF-8 too, or with the user's locale missing: alphabetical.
    std::vector<DesktopEntry> named;
    for (const char* name : {"picom", "XTerm", "\u00c9cran", "Vim", "UXTerm", "apple", "ecran"})
        named.push_back(entry(name, name));
    order_for_menu(named, {});
    EXPECT_EQ(menu_lines(named), (Strings{"apple", "ecran", "\u00c9cran", "picom", "UXTerm",
                                          "Vim", "XTerm"}));

    // The menu takes lines of 1023 bytes; longer names are cut.
    std::string name = std::string(1019, 'n') + "\u00e9\u00e9\u00e9";  // cut inside the first é
    EXPECT_EQ(menu_lines({entry("l.desktop", name.c_str())}),
              Strings{std::string(1019, 'n') + "\u2026"});
    std::string other = name + "x";
    EXPECT_EQ(menu_lines({entry("l.desktop", name.c_str()), entry("l2.desktop", other.c_str())}),
              (Strings{std::string(1016, 'n') + "\u2026 (l)", std::string(1015, 'n') + "\u2026 (l2)"}));
}

}  // namespace
