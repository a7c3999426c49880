#pragma once

#include <string_view>

// A small file that several processes read and rewrite whole, such as a
// history: a reader always sees one whole version, never a torn one.

// Opens the file for reading, or returns -1. A FIFO without a writer reads
// as empty instead of blocking, and a regular file is read under a shared
// lock so that a rewrite in place is never seen half done.
int open_rewritten_file(const char* path);

// Makes text the file's contents. A regular file is replaced whole through
// a new file beside it (unnamed until just before the rename, so a write
// killed halfway leaves nothing behind), so it is never left torn or empty;
// symbolic links are followed, so a link keeps pointing at it, and a
// missing file is created behind a dangling one. Where the directory
// refuses that, a file we may write is rewritten in place under an
// exclusive lock. A device or FIFO is written in place without waiting for
// a reader. Failures are silent and leave the old file.
void rewrite_file(const char* path, std::string_view text);
