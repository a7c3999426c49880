// The command line of pathtest.
#pragma once

#include "path_tests.h"

// Parses the options into options, examining the reference files of -n and
// -o as they come. Returns the index of the first operand in argv, or -1
// after a usage error.
int parse_options(int argc, char** argv, TestOptions& options);

void print_usage(const char* program);
