#pragma once

#include <chrono>

#include "ravlin/base/pending_completion.h"

struct MenuState;

// How long a child may take before it is killed and the input left alone.
inline constexpr std::chrono::milliseconds completion_time_limit{1000};

// Starts completing the word after the first blank of the input as a file
// name, by shell word expansion without running commands, in a child
// process. A completion still in flight is cancelled first. Nothing starts
// when the word cannot be expanded safely or its pattern would not fit.
void start_file_completion(MenuState& m);

// Waits until the child has written more, has finished, or has run out of
// time, or until other_fd (when not -1) is readable, whichever comes first,
// and acts on it; never past the deadline, whatever the child does. True
// when the input was changed by a finished completion.
bool wait_for_completion(MenuState& m, int other_fd);

// Kills the child of a completion in flight, by its pid, and forgets it
// without waiting for it to end.
void cancel_file_completion(MenuState& m);

// The whole completion at once: start, wait, apply. The input is left as it
// was when the word cannot be expanded safely, the expansion takes too long,
// or the completion would not fit in the input buffer. The match list is
// not rebuilt.
void complete_file_name(MenuState& m);

// Puts the completion of words after the first blank of input: the common
// start of the names, blanks escaped, never ending inside a UTF-8
// character. Refused whole when the first name does not fit.
void apply_completion(MenuState& m, const CompletionWords& words);
