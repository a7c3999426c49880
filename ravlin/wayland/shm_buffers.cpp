#include "ravlin/wayland/shm_buffers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>

namespace {

void released(void* data, wl_buffer*)
{
    static_cast<ShmBuffer*>(data)->busy = false;
}

const wl_buffer_listener buffer_listener = {released};

void destroy(ShmBuffer& b)
{
    if (b.buffer)
        wl_buffer_destroy(b.buffer);
    if (b.pixels)
        munmap(b.pixels, b.size);
}

std::unique_ptr<ShmBuffer> make(wl_shm* shm, int32_t width, int32_t height, uint32_t format)
{
    auto b = std::make_unique<ShmBuffer>();
    int32_t stride = width * 4;
    b->size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    int fd = memfd_create("ravlin-buffer", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, static_cast<off_t>(b->size)) != 0) {
        close(fd);
        return nullptr;
    }
    void* map = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    // The compositor may rely on the size never shrinking under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    b->pixels = static_cast<uint32_t*>(map);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(b->size));
    b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    wl_shm_pool_destroy(pool);
    close(fd);
    b->width = width;
    b->height = height;
    b->format = format;
    wl_buffer_add_listener(b->buffer, &buffer_listener, b.get());
    return b;
}

}  // namespace

ShmBuffers::~ShmBuffers()
{
    for (auto& b : buffers_)
        destroy(*b);
}

ShmBuffer* ShmBuffers::take(int32_t width, int32_t height, uint32_t format)
{
    // Free buffers of another size will never be used again.
    std::erase_if(buffers_, [&](const std::unique_ptr<ShmBuffer>& b) {
        bool stale = !b->busy && (b->width != width || b->height != height || b->format != format);
        if (stale)
            destroy(*b);
        return stale;
    });
    for (auto& b : buffers_)
        if (!b->busy)
            return b.get();
    auto fresh = make(shm_, width, height, format);
    if (!fresh)
        return nullptr;
    buffers_.push_back(std::move(fresh));
    return buffers_.back().get();
}
