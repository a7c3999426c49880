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
//
// known_type, when not 0, is the file type (S_IFMT bits) of a directory
// entry that is no symbolic link, in a directory known to be searchable: its
// status then exists, and the tests that need no more of it than the type
// make no call of their own.
bool test_path(const TestOptions& options, int dir_fd, const char* name, mode_t known_type = 0);
