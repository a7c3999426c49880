#include "options.h"

#include <stdio.h>
#include <unistd.h>

namespace {

// A reference file that cannot be examined switches its test off until a
// later occurrence of the same letter names one that can.
void examine_reference(char letter, struct stat& reference, TestOptions& options)
{
    bool examined = stat(optarg, &reference) == 0;
    if (!examined)
        perror(optarg);
    options.set(letter, examined);
}

}  // namespace

void print_usage(const char* program)
{
    fprintf(stderr, "usage: %s [-abcdefghlpqrsuwx] [-n file] [-o file] [file...]\n", program);
}

int parse_options(int argc, char** argv, TestOptions& options)
{
    int letter;
    while ((letter = getopt(argc, argv, "abcdefghln:o:pqrsuwx")) != -1) {
        switch (letter) {
        case 'n':
            examine_reference('n', options.newer_than, options);
            break;
        case 'o':
            examine_reference('o', options.older_than, options);
            break;
        case '?':
            return -1;
        default:
            options.set(static_cast<char>(letter), true);
        }
    }
    return optind;
}
