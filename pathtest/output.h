// Standard output of pathtest: buffered, with write errors caught.
#pragma once

// Standard output was closed at the start (and now holds /dev/null): the
// first name to print is a write error.
void mark_output_closed();

// Prints name and a newline. A failed write ends the run with status 2.
void print_name(const char* name);

// Flushes standard output; a failure ends the run with status 2.
void finish_output();
