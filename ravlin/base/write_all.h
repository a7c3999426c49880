#pragma once

#include <cstddef>

// Writes all size bytes to fd, going on after interrupted and short writes.
// A descriptor opened without blocking that stays full for a second (a FIFO
// whose reader has stopped reading) counts as a failure rather than a hang.
bool write_all(int fd, const char* data, size_t size);
