#include "series_store.h"

#include <algorithm>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <cmath>
#include <cstdlib>
#include <new>
#include <type_traits>

namespace darvelon::plot {

void SeriesStore::append(std::int32_t x, double y) {
    if (m_size && x < m_lastX) {
        insertOutOfOrder(x, y);
        return;
    }
    Chunk* c = m_chunks.empty() ? nullptr : m_chunks.back();
    const bool fits = c && c->count < kChunkPoints &&
                      std::int64_t{x} - c->xBase <= std::numeric_limits<std::uint16_t>::max();
    if (!fits) {
        c = newChunk();
        m_chunks.push_back(c);
        m_chunkStart.push_back(m_size);
        c->xBase = x;
    }
    const std::uint32_t k = c->count++;
    c->dx[k] = static_cast<std::uint16_t>(x - c->xBase);
    c->y[k] = y;
    c->blocks[k / kBlockPoints].include(y);
    c->all.include(y);
    m_all.include(y);
    m_lastX = x;
    ++m_size;
}

// Never reached by the decoder, whose x values only grow; kept correct rather than fast.
void SeriesStore::insertOutOfOrder(std::int32_t x, double y) {
    std::vector<std::pair<std::int32_t, double>> points;
    points.reserve(m_size + 1);
    for (std::size_t i = 0; i < m_size; ++i) points.emplace_back(this->x(i), this->y(i));
    const auto at = std::upper_bound(points.begin(), points.end(), x,
                                     [](std::int32_t v, const auto& p) { return v < p.first; });
    points.insert(at, {x, y});
    clear();
    for (const auto& [px, py] : points) append(px, py);
}

#ifdef _WIN32
#include <malloc.h>
namespace {
void* allocateSlab(std::size_t bytes) { return _aligned_malloc(bytes, bytes); }
}  // namespace
void SeriesStore::SlabFree::operator()(void* p) const { _aligned_free(p); }
#else
namespace {
void* allocateSlab(std::size_t bytes) { return std::aligned_alloc(bytes, bytes); }
}  // namespace
void SeriesStore::SlabFree::operator()(void* p) const { std::free(p); }
#endif

SeriesStore::Chunk* SeriesStore::newChunk() {
    static_assert(std::is_trivially_destructible_v<Chunk>, "chunks are dropped with their slab");
    constexpr std::size_t perSlab = kSlabBytes / sizeof(Chunk);
    const std::size_t slab = m_chunks.size() / perSlab;
    if (slab == m_slabs.size()) {
        void* memory = allocateSlab(kSlabBytes);
        if (!memory) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        ::madvise(memory, kSlabBytes, MADV_HUGEPAGE);
#endif
        m_slabs.emplace_back(static_cast<std::byte*>(memory));
    }
    void* place = m_slabs[slab].get() + (m_chunks.size() % perSlab) * sizeof(Chunk);
    // Default-initialised on purpose: only the summaries need a start value, not the 40 KB of
    // point arrays.
    return new (place) Chunk;
}

void SeriesStore::clear() {
    m_chunks.clear();
    m_chunkStart.clear();
    m_size = 0;
    m_all = {};
}

std::size_t SeriesStore::chunkOf(std::size_t i) const {
    return static_cast<std::size_t>(std::upper_bound(m_chunkStart.begin(), m_chunkStart.end(), i) -
                                    m_chunkStart.begin()) - 1;
}

std::pair<const SeriesStore::Chunk*, std::size_t> SeriesStore::locate(std::size_t i) const {
    const std::size_t c = chunkOf(i);
    return {m_chunks[c], i - m_chunkStart[c]};
}

std::int32_t SeriesStore::x(std::size_t i) const {
    const auto [c, k] = locate(i);
    return c->xBase + c->dx[k];
}

double SeriesStore::y(std::size_t i) const {
    const auto [c, k] = locate(i);
    return c->y[k];
}

std::size_t SeriesStore::lowerBound(double value) const {
    // Chunks first (their base x values are ascending), then the offsets inside one chunk.
    const auto chunkIt = std::partition_point(m_chunks.begin(), m_chunks.end(), [&](const auto& c) {
        return c->xBase + c->dx[c->count - 1] < value;
    });
    if (chunkIt == m_chunks.end()) return m_size;
    const Chunk& c = **chunkIt;
    const auto ci = static_cast<std::size_t>(chunkIt - m_chunks.begin());
    const auto k = std::partition_point(c.dx.begin(), c.dx.begin() + c.count,
                                        [&](std::uint16_t d) { return c.xBase + d < value; }) -
                   c.dx.begin();
    return m_chunkStart[ci] + static_cast<std::size_t>(k);
}

std::size_t SeriesStore::upperBound(double value) const {
    if (std::isnan(value)) return m_size;
    // x values are integers: the first x above value is the first x >= floor(value) + 1.
    return lowerBound(std::floor(value) + 1);
}

MinMax SeriesStore::range(std::size_t begin, std::size_t end) const {
    MinMax out;
    std::size_t ci = chunkOf(begin);
    while (begin < end) {
        const Chunk& c = *m_chunks[ci];
        const std::size_t first = begin - m_chunkStart[ci];
        const std::size_t last = std::min<std::size_t>(c.count, end - m_chunkStart[ci]);
        if (first == 0 && last == c.count) {
            out.include(c.all);
        } else {
            std::size_t k = first;
            while (k < last) {
                if (k % kBlockPoints == 0 && k + kBlockPoints <= last) {
                    out.include(c.blocks[k / kBlockPoints]);
                    k += kBlockPoints;
                } else {
                    out.include(c.y[k]);
                    ++k;
                }
            }
        }
        begin = m_chunkStart[ci] + last;
        ++ci;
    }
    return out;
}

std::size_t SeriesStore::memoryBytes() const {
    return m_slabs.size() * kSlabBytes + m_chunks.capacity() * sizeof(void*) +
           m_chunkStart.capacity() * sizeof(std::size_t) + sizeof(*this);
}

}  // namespace darvelon::plot
