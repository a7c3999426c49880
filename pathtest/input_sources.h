// Where the paths come from: lines of a stream, operands, or the entries of
// the directories named by the operands. Each routine prints the name of
// every path that passes (or, under -q, exits with status 0 at the first) and
// returns true when something passed.
#pragma once

#include <stdio.h>

#include "path_tests.h"

// Every line of input, without its line end, is one path, whatever its
// length; a line too long for any path is read through with bounded memory.
bool filter_lines(const TestOptions& options, FILE* input);

// Each operand is a path; under -l one that opens as a directory stands for
// its entries instead.
bool filter_operands(const TestOptions& options, char* const* operands, int count);
