#pragma once

// Prints the printf-style message on standard error and exits with status
// 1. A format ending in ':' gets a blank and the system's error text
// appended. Nothing is released on the way out.
[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
