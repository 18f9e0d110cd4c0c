#include "BulkMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace corvanel {

void FreeBulk::operator()(char *p) const
{
    std::free(p);
}

Bulk allocateBulk(std::size_t bytes)
{
    constexpr std::size_t HugePage = std::size_t {2} * 1024 * 1024;
    void *p = nullptr;
    if (::posix_memalign(&p, bytes >= HugePage ? HugePage : alignof(std::max_align_t), bytes) != 0)
        throw std::bad_alloc();
    Bulk bulk(static_cast<char *>(p));
#ifdef MADV_HUGEPAGE
    if (bytes >= HugePage)
        ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t from = (start + page - 1) & ~(page - 1);
    const std::uintptr_t to = (start + bytes) & ~(page - 1);
    if (to > from)
        // NOLINTNEXTLINE(performance-no-int-to-ptr): madvise wants the page-aligned address itself
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE); // older kernels: faults as before
#endif
    return bulk;
}

BlockPool::BlockPool(std::size_t blockSize)
    // Each block keeps the alignment of the slab, and can hold the free list's link.
    : m_blockSize((std::max(blockSize, sizeof(FreeBlock)) + alignof(std::max_align_t) - 1)
                  & ~(alignof(std::max_align_t) - 1))
{}

void *BlockPool::take()
{
    if (m_free) {
        FreeBlock *block = m_free;
        m_free = block->next;
        return block;
    }
    if (m_next == m_end) {
        constexpr std::size_t First = std::size_t {64} * 1024;
        constexpr std::size_t Largest = std::size_t {2} * 1024 * 1024;
        const std::size_t size = std::max(std::clamp(m_reserved, First, Largest), m_blockSize);
        m_slabs.push_back(allocateBulk(size));
        m_reserved += size;
        m_next = m_slabs.back().get();
        m_end = m_next + size / m_blockSize * m_blockSize;
    }
    void *block = m_next;
    m_next += m_blockSize;
    return block;
}

void BlockPool::give(void *block)
{
    auto *freed = static_cast<FreeBlock *>(block);
    freed->next = m_free;
    m_free = freed;
}

} // namespace corvanel
