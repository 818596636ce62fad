#ifndef COUNTINGALLOCATOR_H
#define COUNTINGALLOCATOR_H

#include <cstdint>

// The heap of this process as the program sees it: malloc and its family
// (which operator new, Qt's containers and QtDBus all end in) replaced in
// the executable that links countingallocator.cpp, counting every thread.
// Used by the memory benchmark and the memory reliability run; it cannot be
// linked with AddressSanitizer, which replaces malloc itself.
namespace CountingAllocator {

struct Usage
{
    // Bytes in use (as malloc_usable_size counts them), blocks in use, and
    // blocks handed out so far.
    std::int64_t liveBytes = 0;
    std::int64_t liveBlocks = 0;
    std::int64_t allocations = 0;
};

Usage usage();

} // namespace CountingAllocator

#endif // COUNTINGALLOCATOR_H
