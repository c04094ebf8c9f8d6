// Every allocation of the test program is counted, so that a test can show a piece of
// code makes none. Kept apart from the tests, which would otherwise see both halves.
#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> g_allocations{0};
}

long AllocationCount()
{
    return g_allocations.load();
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* block = std::malloc(size ? size : 1))
    {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
