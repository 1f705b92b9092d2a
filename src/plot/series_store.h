#pragma once
// Compact, append-mostly storage for one chart series: about 11 bytes per point (x as a
// 16-bit offset inside its chunk, y as an exact double, min/max summaries per 64 points), so an
// hour of full-rate data stays far below what the chart widget would need for the same points.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace darvelon::plot {

struct MinMax {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    void include(double y) {
        // std::min/max keep the summary when y is NaN and compile to branch-free instructions.
        min = std::min(min, y);
        max = std::max(max, y);
    }
    void include(const MinMax& o) {
        min = std::min(min, o.min);
        max = std::max(max, o.max);
    }
};

class SeriesStore {
public:
    static constexpr std::size_t kChunkPoints = 4096;
    static constexpr std::size_t kBlockPoints = 64;

    // Points must come in ascending x order to be stored cheaply; an earlier x is still kept in
    // order, through a slow path.
    void append(std::int32_t x, double y) {
        // The decoder's path: next x in the open chunk. Everything else goes the long way.
        Chunk* c = m_tail;
        if (c && x >= m_lastX && c->count < kChunkPoints &&
            static_cast<std::uint32_t>(x) - static_cast<std::uint32_t>(c->xBase) <=
                std::numeric_limits<std::uint16_t>::max()) {
            const std::uint32_t k = c->count++;
            c->dx[k] = static_cast<std::uint16_t>(x - c->xBase);
            c->y[k] = y;
            m_tailBlocks[k / kBlockPoints].include(y);
            m_lastX = x;
            ++m_size;
            return;
        }
        appendSlow(x, y);
    }
    void clear();

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::int32_t x(std::size_t i) const;
    double y(std::size_t i) const;
    // Over every point ever stored since the last clear; empty() has none.
    double maxY() const { return all().max; }
    double minY() const { return all().min; }

    // First index at or after `from` whose x is >= value (size() when none). Walks that move
    // forward pass their last answer as `from` and search only what lies ahead.
    std::size_t lowerBound(double value, std::size_t from = 0) const;
    // First index whose x is > value.
    std::size_t upperBound(double value) const;
    // Extremes of y over indices [begin, end), begin < end.
    MinMax range(std::size_t begin, std::size_t end) const;

    // Asks for the memory around point i ahead of a range() or lowerBound() near it. Walks
    // over an hour of data visit memory no cache holds, one column after another; fetching the
    // next column's while the current one is summed hides most of that wait.
    void prefetch(std::size_t i) const;

    // The 64-point blocks of every sealed chunk (all but the open one), side by side: their
    // first x, their extremes and the index of their first point, with the extremes of every
    // eight blocks besides. A view over an hour reads these few hundred kilobytes instead of
    // visiting every chunk it crosses.
    class SealedBlocks {
    public:
        explicit SealedBlocks(const SeriesStore& s) : m_store(&s) {}
        std::size_t count() const { return m_store->m_blockExtremes.size(); }
        std::int32_t firstX(std::size_t b) const { return m_store->m_blockFirstX[b]; }
        std::size_t start(std::size_t b) const;
        // Extremes of y over blocks [first, last), first < last.
        MinMax extremes(std::size_t first, std::size_t last) const;

    private:
        const SeriesStore* m_store;
    };
    SealedBlocks sealedBlocks() const { return SealedBlocks(*this); }

    std::size_t memoryBytes() const;

private:
    struct Chunk {
        std::int32_t xBase = 0;
        std::uint32_t count = 0;
        MinMax all;  // kept up to date once the chunk is sealed, that is, no longer the tail
        std::array<std::uint16_t, kChunkPoints> dx;
        std::array<double, kChunkPoints> y;

        // First offset at or after `from` whose x is >= value (count when none); from < count.
        std::size_t lowerBound(double value, std::size_t from) const;
    };
    // Chunks are carved out of 2 MiB slabs that the kernel may back with huge pages: an hour of
    // data then costs a few dozen page faults instead of tens of thousands. Slabs are kept
    // across clear(), so replaying again touches no new memory.
    struct SlabFree {
        void operator()(void* p) const;
    };
    using Slab = std::unique_ptr<std::byte, SlabFree>;
    static constexpr std::size_t kSlabBytes = std::size_t{2} << 20;
    Chunk* newChunk();
    void appendSlow(std::int32_t x, double y);
    // Points added per call stay cheap by summarising only their 64-point block; a chunk's and
    // the store's totals catch up when the chunk is sealed.
    void sealTail();
    MinMax tailSummary() const;
    MinMax all() const;

    std::pair<const Chunk*, std::size_t> locate(std::size_t i) const;
    // The block summaries of chunk ci: the open chunk keeps its own, sealed ones live in
    // m_blockExtremes.
    const MinMax* blocksOf(std::size_t ci) const;
    std::size_t chunkOf(std::size_t i) const;
    void insertOutOfOrder(std::int32_t x, double y);

    std::vector<Slab> m_slabs;
    std::vector<Chunk*> m_chunks;           // in order; they live in m_slabs
    std::vector<std::size_t> m_chunkStart;  // global index of each chunk's first point
    std::vector<std::int32_t> m_chunkBase;  // each chunk's first x, searched without touching the chunks
    Chunk* m_tail = nullptr;                // the open chunk, the last of m_chunks
    std::size_t m_size = 0;
    std::int32_t m_lastX = 0;  // valid while m_size > 0
    MinMax m_sealed;           // over every sealed chunk
    static constexpr std::size_t kBlocksPerGroup = 8;
    std::array<MinMax, kChunkPoints / kBlockPoints> m_tailBlocks;
    std::vector<std::int32_t> m_blockFirstX;
    std::vector<MinMax> m_blockExtremes;
    std::vector<MinMax> m_groupExtremes;    // of blocks [8g, 8g + 8)
    std::vector<std::size_t> m_chunkBlock;  // each chunk's first block, once it is sealed
};

}  // namespace darvelon::plot
