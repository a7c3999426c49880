// The file tests of one run and the routine that applies them to a path.
#pragma once

#include <sys/stat.h>

struct TestOptions {
    // One switch per option letter, indexed by letter - 'a'. For n and o the
    // switch is on only while the last reference file named could be examined.
    bool flags[26];
    struct stat newer_than;  // reference file of -n
    struct stat older_than;  // reference file of -o

    bool has(char letter) const { return flags[letter - 'a']; }
    void set(char letter, bool on) { flags[letter - 'a'] = on; }
};

// Runs the chosen tests on name, resolved relative to the directory dir_fd
// (AT_FDCWD for the working directory). The name is also what the hidden-name
// rule looks at, since it is what gets printed. True when every test passes.
bool test_path(const TestOptions& options, int dir_fd, const char* name);
