// Where the desktop entries of the installed applications are, and which
// file speaks for each desktop-file ID.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "desktop_entry.h"

// Larger files are skipped unread: no real entry comes near it.
inline constexpr size_t kMaxEntryFileSize = 1024 * 1024;

// The applications directories, most important first:
// $XDG_DATA_HOME/applications (default ~/.local/share), then each directory
// of $XDG_DATA_DIRS (default /usr/local/share:/usr/share) with
// /applications. Relative paths in either variable are ignored, as are
// repeated directories.
std::vector<std::string> application_dirs(const char* data_home, const char* data_dirs,
                                          const char* home);

// The ID of the file at this path below an applications directory:
// "foo/bar.desktop" is "foo-bar.desktop".
std::string desktop_file_id(std::string_view relative_path);

// The entries to offer, read from the *.desktop files in the directories
// and their subdirectories. The first file found with an ID decides for
// it, whether it is offered or not: a Hidden or broken entry masks the same
// ID further down. Within one directory names are taken in byte order.
// Symbolic links are followed, but never into a directory already walked
// nor into one above an applications directory.
std::vector<DesktopEntry> find_applications(const std::vector<std::string>& dirs,
                                            const ListingContext& context);
