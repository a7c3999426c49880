// pathtest: prints the paths that pass the file tests chosen by its options.

#include <stdio.h>

#include "input_sources.h"
#include "options.h"
#include "output.h"

int main(int argc, char** argv)
{
    TestOptions options{};
    int first_operand = parse_options(argc, argv, options);
    bool matched = first_operand < argc
                       ? filter_operands(options, argv + first_operand, argc - first_operand)
                       : filter_lines(options, stdin);
    finish_output();
    return matched ? 0 : 1;
}
