// The command line of pathtest.
#pragma once

#include "path_tests.h"

// Parses the options into options, examining the reference files of -n and
// -o as they come. Returns the index of the first operand in argv. After a
// usage error it prints the usage text and exits with status 2.
int parse_options(int argc, char** argv, TestOptions& options);
