#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct wl_shm;
struct wl_buffer;

// A picture in memory shared with the compositor. It is busy from the
// commit that shows it until the compositor releases it, and is not drawn
// into meanwhile.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    uint32_t* pixels = nullptr;
    size_t size = 0;
    int32_t width = 0, height = 0;
    uint32_t format = 0;  // WL_SHM_FORMAT_*
    bool busy = false;
};

// The buffers of one surface: two are enough when frames are paced by the
// compositor, more are made only while both are held.
class ShmBuffers {
public:
    explicit ShmBuffers(wl_shm* shm) : shm_(shm) {}
    ~ShmBuffers();
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    // A buffer that is not busy, of that size and format (the others are
    // dropped once free); null when shared memory cannot be had.
    ShmBuffer* take(int32_t width, int32_t height, uint32_t format);

private:
    wl_shm* shm_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
};
