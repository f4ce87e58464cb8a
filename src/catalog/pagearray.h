#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// A growing array of plain values whose memory comes straight from the kernel.
// Growing moves its pages instead of copying them, so an array of tens of
// megabytes never stands twice in memory, and the room kept for growth takes
// no memory until it is written.
template <typename T> class PageArray
{
    static_assert(std::is_trivially_copyable_v<T>, "the values are moved as bytes");

public:
    PageArray() = default;
    PageArray(const PageArray &other) { append(other.data(), other.size()); }
    PageArray(PageArray &&other) noexcept { swap(other); }
    PageArray &operator=(const PageArray &other)
    {
        if (this != &other) {
            clear();
            append(other.data(), other.size());
        }
        return *this;
    }
    PageArray &operator=(PageArray &&other) noexcept
    {
        PageArray taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~PageArray() { release(); }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_size; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }
    T &operator[](size_t index) { return m_data[index]; }
    const T &operator[](size_t index) const { return m_data[index]; }

    void push_back(const T &value)
    {
        reserve(m_size + 1);
        m_data[m_size++] = value;
    }
    void append(const T *values, size_t count)
    {
        if (count == 0)
            return;
        reserve(m_size + count);
        std::memcpy(static_cast<void *>(m_data + m_size), values, count * sizeof(T));
        m_size += count;
    }
    void clear() { release(); }

    // Room for at least count values; throws std::bad_alloc when the kernel refuses.
    void reserve(size_t count)
    {
        if (count <= m_capacity)
            return;
        const size_t wanted = std::max(count, m_capacity + m_capacity / 2);
        const size_t bytes = roundToPages(wanted * sizeof(T));
        void *pages = m_data ? mremap(m_data, m_bytes, bytes, MREMAP_MAYMOVE)
                             : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<T *>(pages);
        m_bytes = bytes;
        m_capacity = bytes / sizeof(T);
    }

private:
    static size_t roundToPages(size_t bytes)
    {
        static const size_t page = size_t(sysconf(_SC_PAGESIZE));
        return (std::max<size_t>(bytes, 1) + page - 1) / page * page;
    }
    void swap(PageArray &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_bytes, other.m_bytes);
    }
    void release()
    {
        if (m_data)
            munmap(m_data, m_bytes);
        m_data = nullptr;
        m_size = m_capacity = m_bytes = 0;
    }

    T *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0; // values
    size_t m_bytes = 0;    // mapped
};
