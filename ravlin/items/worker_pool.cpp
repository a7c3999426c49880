#include "ravlin/items/worker_pool.h"

#include <sched.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Chunks are coarse (a few hundred per job at most), so one lock taken per
// chunk costs nothing beside the chunk and keeps the hand-over plain.
struct Pool {
    std::mutex lock;
    std::condition_variable wake;  // helpers: a job came
    std::condition_variable idle;  // the caller: the last chunk is done
    size_t helpers = 0;   // threads running
    size_t wanted = 0;    // helpers start_workers asked for
    void (*work)(void*, size_t) = nullptr;
    void* context = nullptr;
    size_t count = 0;  // chunks of the current job
    size_t next = 0;   // first chunk nobody took
    size_t done = 0;   // chunks finished

    // Takes and runs chunks until none is left; called with the lock held.
    void take_chunks(std::unique_lock<std::mutex>& held)
    {
        while (next < count) {
            size_t chunk = next++;
            auto* fn = work;
            void* c = context;
            held.unlock();
            fn(c, chunk);
            held.lock();
            if (++done == count)
                idle.notify_one();
        }
    }

    void serve()
    {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            wake.wait(held, [&] { return next < count; });
            take_chunks(held);
        }
    }
};

// Never destroyed: the helpers wait on it until the process ends.
Pool* pool = nullptr;

size_t usable_processors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<size_t>(CPU_COUNT(&set));
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

// The threads themselves start with the first job that has chunks to
// share, so that the menu's drawing is out before any thread is made.
void spawn_helpers()
{
    while (pool->helpers < pool->wanted) {
        try {
            std::thread(&Pool::serve, pool).detach();
        } catch (const std::system_error&) {
            // Without a thread the searches only take longer.
            pool->wanted = pool->helpers;
            return;
        }
        std::lock_guard<std::mutex> held(pool->lock);
        ++pool->helpers;
    }
}

}  // namespace

void start_workers(size_t threads)
{
    if (threads == 0)
        threads = usable_processors();
    // Beyond a few threads the scans wait on memory, not on cores.
    if (threads > 8)
        threads = 8;
    if (!pool)
        pool = new Pool;
    if (threads - 1 > pool->wanted)
        pool->wanted = threads - 1;
}

size_t worker_threads()
{
    return pool ? pool->wanted + 1 : 1;
}

void run_chunks(size_t count, void (*work)(void*, size_t), void* context)
{
    if (pool && count > 1)
        spawn_helpers();
    if (!pool || count <= 1 || pool->helpers == 0) {
        for (size_t i = 0; i < count; ++i)
            work(context, i);
        return;
    }
    std::unique_lock<std::mutex> held(pool->lock);
    pool->work = work;
    pool->context = context;
    pool->count = count;
    pool->next = 0;
    pool->done = 0;
    pool->wake.notify_all();
    pool->take_chunks(held);
    pool->idle.wait(held, [&] { return pool->done == pool->count; });
    // A helper that wakes late finds nothing to take.
    pool->count = pool->next = pool->done = 0;
}
