#pragma once

// A standard descriptor that is closed would be taken by the next file the
// program opens: its output, or a library's complaint, would go into that
// file or socket, or the file be read as input. /dev/null fills each gap.
// Returns the descriptors it filled as a bit mask (1 << fd), or -1 when
// /dev/null cannot be opened (errno tells why).
int open_standard_descriptors();
