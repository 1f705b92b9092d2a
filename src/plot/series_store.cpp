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

namespace {

// The index of the run that holds `value`, given each run's first value in ascending order and
// a guess no later than the answer; right at once when every run before it is full.
std::size_t runHolding(const std::vector<std::size_t>& firsts, std::size_t value, std::size_t guess) {
    guess = std::min(guess, firsts.size() - 1);
    if (guess + 1 == firsts.size() || firsts[guess + 1] > value) return guess;
    return std::size_t(std::upper_bound(firsts.begin() + std::ptrdiff_t(guess) + 1, firsts.end(), value) -
                       firsts.begin()) -
           1;
}

MinMax extremes(const double* y, std::size_t n) {
    MinMax out;
    for (std::size_t i = 0; i < n; ++i) out.include(y[i]);
    return out;
}

}  // namespace

void SeriesStore::appendSlow(std::int32_t x, double y) {
    if (m_size && x < m_lastX) {
        insertOutOfOrder(x, y);
        return;
    }
    // The tail is full or x jumped past what a 16-bit offset reaches.
    sealTail();
    Chunk* c = newChunk();
    m_chunks.push_back(c);
    m_chunkStart.push_back(m_size);
    m_chunkBase.push_back(x);
    m_chunkBlock.push_back(m_blockExtremes.size());
    c->xBase = x;
    m_tail = c;
    m_tailBlocks.fill(MinMax{});
    m_lastX = x;  // a cleared store still holds the old one
    append(x, y);
}

MinMax SeriesStore::tailSummary() const {
    MinMax out;
    if (!m_tail) return out;
    const std::size_t blocks = (m_tail->count + kBlockPoints - 1) / kBlockPoints;
    for (std::size_t b = 0; b < blocks; ++b) out.include(m_tailBlocks[b]);
    return out;
}

void SeriesStore::sealTail() {
    if (!m_tail) return;
    Chunk& c = *m_tail;
    c.all = tailSummary();
    m_sealed.include(c.all);
    const std::size_t blocks = (c.count + kBlockPoints - 1) / kBlockPoints;
    for (std::size_t b = 0; b < blocks; ++b) {
        m_blockFirstX.push_back(c.xBase + c.dx[b * kBlockPoints]);
        m_blockExtremes.push_back(m_tailBlocks[b]);
        const std::size_t group = (m_blockExtremes.size() - 1) / kBlocksPerGroup;
        if (group == m_groupExtremes.size()) m_groupExtremes.emplace_back();
        m_groupExtremes[group].include(m_tailBlocks[b]);
    }
    m_tail = nullptr;
}

MinMax SeriesStore::all() const {
    MinMax out = m_sealed;
    out.include(tailSummary());
    return out;
}

// Never reached by the decoder, whose x values only grow; kept correct rather than fast.
void SeriesStore::insertOutOfOrder(std::int32_t x, double y) {
    std::vector<std::pair<std::int32_t, double>> points;
    points.reserve(m_size + 1);
    for (std::size_t i = 0; i < m_size; ++i) points.emplace_back(this->x(i), this->y(i));
    const auto at =
        std::upper_bound(points.begin(), points.end(), x, [](std::int32_t v, const auto& p) { return v < p.first; });
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
    m_chunkBase.clear();
    m_tail = nullptr;
    m_size = 0;
    m_sealed = {};
    m_blockFirstX.clear();
    m_blockExtremes.clear();
    m_chunkBlock.clear();
    m_groupExtremes.clear();
}

std::size_t SeriesStore::chunkOf(std::size_t i) const {
    // No chunk holds more than kChunkPoints, so point i lies in chunk i / kChunkPoints or a
    // later one; without gaps in x it is exactly that one.
    return runHolding(m_chunkStart, i, i / kChunkPoints);
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

std::size_t SeriesStore::lowerBound(double value, std::size_t from) const {
    if (from >= m_size) return m_size;
    std::size_t ci = chunkOf(from);
    std::size_t k = from - m_chunkStart[ci];
    const Chunk* c = m_chunks[ci];
    if (c->xBase + c->dx[c->count - 1] < value) {
        // Past this chunk: the answer lies in the last chunk that starts below value, or is
        // the first point of the chunk after it.
        const auto next = static_cast<std::size_t>(
            std::partition_point(m_chunkBase.begin() + std::ptrdiff_t(ci) + 1, m_chunkBase.end(),
                                 [&](std::int32_t base) { return base < value; }) -
            m_chunkBase.begin());
        if (next == ci + 1) return m_chunkStart[ci] + c->count;
        ci = next - 1;
        c = m_chunks[ci];
        k = 0;
    }
    return m_chunkStart[ci] + c->lowerBound(value, k);
}

// The decoder's x values grow by one or two a point, so a straight-line guess lands on or next
// to the answer and the search reads one or two cache lines of a chunk instead of a dozen.
std::size_t SeriesStore::Chunk::lowerBound(double value, std::size_t from) const {
    const auto below = [&](std::size_t k) { return xBase + dx[k] < value; };
    const std::size_t last = count - 1;
    if (!below(from)) return from;
    if (below(last)) return count;
    // Now x[from] < value <= x[last]: the answer lies in (from, last].
    const double spread = double(dx[last]) - double(dx[from]);
    const double t = (value - (xBase + dx[from])) / spread;
    std::size_t lo = from;  // below(lo)
    std::size_t hi = last;  // !below(hi)
    const auto guess = std::clamp<std::size_t>(from + std::size_t(t * double(last - from)), from + 1, last);
    // Widen a window around the guess until it holds the answer, then halve it.
    std::size_t step = 1;
    if (below(guess)) {
        lo = guess;
        while (lo + step < hi && below(lo + step)) {
            lo += step;
            step *= 2;
        }
        hi = std::min(hi, lo + step);
    } else {
        hi = guess;
        while (hi - step > lo && !below(hi - step)) {
            hi -= step;
            step *= 2;
        }
        lo = std::max(lo, hi - step);
    }
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (below(mid) ? lo : hi) = mid;
    }
    return hi;
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
        if (first == 0 && last == c.count && &c != m_tail) {
            out.include(c.all);
        } else {
            // Single points up to a block boundary, whole blocks, then the rest singly.
            const std::size_t headEnd = std::min(last, (first + kBlockPoints - 1) / kBlockPoints * kBlockPoints);
            const std::size_t tailBegin = std::max(headEnd, last / kBlockPoints * kBlockPoints);
            out.include(extremes(c.y.data() + first, headEnd - first));
            const MinMax* blocks = blocksOf(ci);
            for (std::size_t k = headEnd; k < tailBegin; k += kBlockPoints) out.include(blocks[k / kBlockPoints]);
            out.include(extremes(c.y.data() + tailBegin, last - tailBegin));
        }
        begin = m_chunkStart[ci] + last;
        ++ci;
    }
    return out;
}

const MinMax* SeriesStore::blocksOf(std::size_t ci) const {
    return m_chunks[ci] == m_tail ? m_tailBlocks.data() : m_blockExtremes.data() + m_chunkBlock[ci];
}

std::size_t SeriesStore::SealedBlocks::start(std::size_t b) const {
    // A chunk holds at most 64 blocks, so block b lies in chunk b / 64 or a later one; without
    // early-sealed chunks it is exactly that one.
    const auto& first = m_store->m_chunkBlock;
    const std::size_t ci = runHolding(first, b, b / (kChunkPoints / kBlockPoints));
    return m_store->m_chunkStart[ci] + (b - first[ci]) * kBlockPoints;
}

MinMax SeriesStore::SealedBlocks::extremes(std::size_t first, std::size_t last) const {
    const auto& blocks = m_store->m_blockExtremes;
    const auto& groups = m_store->m_groupExtremes;
    // Blocks up to a group edge, whole groups, then blocks again.
    const std::size_t headEnd = std::min(last, (first + kBlocksPerGroup - 1) / kBlocksPerGroup * kBlocksPerGroup);
    const std::size_t tailBegin = std::max(headEnd, last / kBlocksPerGroup * kBlocksPerGroup);
    MinMax out;
    for (std::size_t b = first; b < headEnd; ++b) out.include(blocks[b]);
    for (std::size_t g = headEnd / kBlocksPerGroup; g < tailBegin / kBlocksPerGroup; ++g) out.include(groups[g]);
    for (std::size_t b = tailBegin; b < last; ++b) out.include(blocks[b]);
    return out;
}

void SeriesStore::prefetch(std::size_t i) const {
#if defined(__GNUC__) || defined(__clang__)
    if (i >= m_size) return;
    const std::size_t ci = chunkOf(i);
    const Chunk* c = m_chunks[ci];
    const std::size_t k = i - m_chunkStart[ci];
    __builtin_prefetch(&c->dx[k]);
    __builtin_prefetch(&blocksOf(ci)[k / kBlockPoints]);
    // A column boundary's partial blocks lie on both sides of it.
    const std::size_t from = k >= kBlockPoints ? k - kBlockPoints : 0;
    const std::size_t to = std::min<std::size_t>(c->count, k + kBlockPoints);
    constexpr std::size_t kPerLine = 64 / sizeof(double);
    for (std::size_t j = from; j < to; j += kPerLine) __builtin_prefetch(&c->y[j]);
#else
    (void)i;
#endif
}

std::size_t SeriesStore::memoryBytes() const {
    return m_slabs.size() * kSlabBytes + m_chunks.capacity() * sizeof(void*) +
           m_chunkStart.capacity() * sizeof(std::size_t) + m_chunkBase.capacity() * sizeof(std::int32_t) +
           m_blockFirstX.capacity() * sizeof(std::int32_t) + m_blockExtremes.capacity() * sizeof(MinMax) +
           m_chunkBlock.capacity() * sizeof(std::size_t) + m_groupExtremes.capacity() * sizeof(MinMax) + sizeof(*this);
}

}  // namespace darvelon::plot
