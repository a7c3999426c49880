#pragma once

#include <span>

struct Platform;

// The whole life of one run on the first of the platforms that opens;
// returns the exit status.
int run_menu(int argc, char** argv, std::span<const Platform* const> platforms);
