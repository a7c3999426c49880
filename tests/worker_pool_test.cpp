// The helper threads: every chunk of a job runs once, all before run_chunks
// returns, job after job, with more chunks than threads and fewer.

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ravlin/items/worker_pool.h"

TEST(WorkerPool, RunsEveryChunkOnceBeforeReturning)
{
    start_workers(4);
    ASSERT_GE(worker_threads(), 2u);
    for (size_t count : {0, 1, 2, 3, 7, 64, 1000}) {
        for (int job = 0; job < 50; ++job) {
            std::vector<std::atomic<int>> runs(count);
            std::atomic<size_t> finished{0};
            auto work = [&](size_t i) {
                runs[i].fetch_add(1);
                finished.fetch_add(1);
            };
            run_chunks(count, work);
            // Nothing may still run once the call is back.
            ASSERT_EQ(finished.load(), count);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[i].load(), 1) << "chunk " << i << " of " << count;
        }
    }
}
