#include "countingallocator.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <malloc.h>

// glibc's own entry points, under the names it exports for wrappers.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *block);
}

namespace {

std::atomic<std::int64_t> liveBytes { 0 };
std::atomic<std::int64_t> liveBlocks { 0 };
std::atomic<std::int64_t> allocations { 0 };

void *counted(void *block)
{
    if (block) {
        liveBytes.fetch_add(std::int64_t(malloc_usable_size(block)), std::memory_order_relaxed);
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

void uncount(void *block)
{
    if (block) {
        liveBytes.fetch_sub(std::int64_t(malloc_usable_size(block)), std::memory_order_relaxed);
        liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    }
}

} // namespace

namespace CountingAllocator {

Usage usage()
{
    return { liveBytes.load(), liveBlocks.load(), allocations.load() };
}

} // namespace CountingAllocator

extern "C" {

void *malloc(size_t size)
{
    return counted(__libc_malloc(size));
}

void *calloc(size_t count, size_t size)
{
    return counted(__libc_calloc(count, size));
}

void *realloc(void *block, size_t size)
{
    uncount(block);
    void *moved = __libc_realloc(block, size);
    // A failed realloc leaves the block as it was.
    if (!moved && size != 0 && block)
        return counted(block);
    return counted(moved);
}

void free(void *block)
{
    uncount(block);
    __libc_free(block);
}

void *memalign(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size));
}

void *aligned_alloc(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void **result, size_t alignment, size_t size)
{
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void *block = counted(__libc_memalign(alignment, size));
    if (!block)
        return ENOMEM;
    *result = block;
    return 0;
}

} // extern "C"
