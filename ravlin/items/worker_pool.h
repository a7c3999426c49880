#pragma once

#include <cstddef>

// Helper threads for the searches of a long entry list. The menu's own
// thread hands them a job of numbered chunks, takes chunks itself too and
// returns when every chunk is done; a chunk only reads the labels and
// writes what the job gave it alone (its entries' links, its words of a
// match set, its slot of results), so no state is shared while a job runs.
// The threads never see the display and are idle between jobs.

// Lets the searches use threads - 1 helpers (the caller's thread is the
// last one); threads 0 asks the system how many processors this process
// may use. Called once the first drawing is made; the helpers start with
// the first job that has chunks for them, after the drawing has gone out,
// so that the start-up never waits for them. Later calls only add helpers.
void start_workers(size_t threads = 0);

// How many threads run a job: the helpers and the caller.
size_t worker_threads();

// Runs work(context, i) for every i below count, on the helpers and the
// calling thread, and returns when all have returned. With no helpers, or
// one chunk, all run on the calling thread in order.
void run_chunks(size_t count, void (*work)(void* context, size_t chunk), void* context);

// run_chunks for a callable.
template <class Work>
void run_chunks(size_t count, Work& work)
{
    run_chunks(count, [](void* c, size_t i) { (*static_cast<Work*>(c))(i); }, &work);
}
