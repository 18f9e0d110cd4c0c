#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

namespace corvanel {

// Memory for large blocks, put in place at once. Faulting each 4 KB page in
// as it is first written costs a trap per page, which at line speeds is much
// of the cost of storing received text. A block of 2 MB or more is asked
// for as huge pages (the kernel may first have to assemble one: a rare wait
// of milliseconds, against a trap for each of 512 pages).
struct FreeBulk
{
    void operator()(char *p) const;
};
using Bulk = std::unique_ptr<char[], FreeBulk>;

// Throws std::bad_alloc when there is no memory.
Bulk allocateBulk(std::size_t bytes);

// Hands out blocks of one size from bulk slabs, and takes them back for
// reuse; the slabs go when the pool does. Slabs grow with use, from 64 KB
// to 2 MB, so that a small pool stays small.
class BlockPool
{
public:
    explicit BlockPool(std::size_t blockSize);
    std::size_t blockSize() const { return m_blockSize; }
    void *take();
    void give(void *block);

private:
    struct FreeBlock
    {
        FreeBlock *next;
    };
    const std::size_t m_blockSize;
    std::vector<Bulk> m_slabs;
    std::size_t m_reserved = 0; // bytes in all slabs
    char *m_next = nullptr; // never handed out, up to m_end
    char *m_end = nullptr;
    FreeBlock *m_free = nullptr;
};

// An allocator for standard containers that takes requests of up to one
// block from a shared pool (std::deque's fixed-size blocks of elements) and
// anything larger from the heap.
template <typename T>
class PoolAllocator
{
public:
    using value_type = T;
    // A container given another's contents takes its pool along.
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    explicit PoolAllocator(std::shared_ptr<BlockPool> pool) : m_pool(std::move(pool)) {}
    // Copied, never moved: an allocator moved from must still free what it gave.
    PoolAllocator(const PoolAllocator &) = default;
    PoolAllocator &operator=(const PoolAllocator &) = default;
    template <typename U>
    PoolAllocator(const PoolAllocator<U> &other) : m_pool(other.pool())
    {}

    T *allocate(std::size_t n)
    {
        return fromPool(n) ? static_cast<T *>(m_pool->take()) : std::allocator<T>().allocate(n);
    }
    void deallocate(T *p, std::size_t n)
    {
        if (fromPool(n))
            m_pool->give(p);
        else
            std::allocator<T>().deallocate(p, n);
    }

    const std::shared_ptr<BlockPool> &pool() const { return m_pool; }
    template <typename U>
    bool operator==(const PoolAllocator<U> &other) const
    {
        return m_pool == other.pool();
    }
    template <typename U>
    bool operator!=(const PoolAllocator<U> &other) const
    {
        return m_pool != other.pool();
    }

private:
    // Where n elements come from, and so where they go back to.
    bool fromPool(std::size_t n) const
    {
        return n * sizeof(T) <= m_pool->blockSize() && alignof(T) <= alignof(std::max_align_t);
    }

    std::shared_ptr<BlockPool> m_pool;
};

} // namespace corvanel
