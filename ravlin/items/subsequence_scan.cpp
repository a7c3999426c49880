#include "ravlin/items/subsequence_scan.h"

#include <cstdint>

#include "ravlin/items/chain.h"

#if defined(__x86_64__)

#include <immintrin.h>

bool subsequence_scan_available()
{
    return __builtin_cpu_supports("avx2");
}

namespace {

constexpr uintptr_t block_size = 64;

// The bytes of a 64-byte block equal to either byte of spelling, as bits.
__attribute__((target("avx2"), always_inline))
inline uint64_t matching(__m256i low, __m256i high, const unsigned char* spelling)
{
    __m256i a = _mm256_set1_epi8(static_cast<char>(spelling[0]));
    __m256i b = _mm256_set1_epi8(static_cast<char>(spelling[1]));
    uint32_t l = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(low, a), _mm256_cmpeq_epi8(low, b))));
    uint32_t h = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(high, a), _mm256_cmpeq_epi8(high, b))));
    return static_cast<uint64_t>(h) << 32 | l;
}

const char* block_of(const char* p)
{
    return reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) & ~(block_size - 1));
}

// One pass over the run in aligned 64-byte blocks, which never cross a page:
// the first block may start before the run and the last end after it, and
// those bytes are masked off or never reached. A block that holds neither a
// NUL nor the byte wanted next is passed over at once. Otherwise the walk
// goes from event to event through two bit masks of the block, the NULs and
// the spellings of the byte wanted next: a NUL ends a label (and the search
// starts afresh with the first byte), any other event is the byte wanted.
// The last byte found makes a match, and the walk jumps to the next label.
__attribute__((target("avx2"), no_sanitize_address, no_sanitize_thread, always_inline))
inline void walk(Entry* entries, const LabelRun& run, const unsigned char (*spellings)[2], size_t n,
                 Entry*& head, Entry*& tail)
{
    size_t i = run.first;
    const size_t high = run.first + run.count;
    if (i == high)
        return;
    const __m256i zero = _mm256_setzero_si256();
    size_t k = 0;  // bytes found in label i
    __m256i a = _mm256_set1_epi8(static_cast<char>(spellings[0][0]));
    __m256i b = _mm256_set1_epi8(static_cast<char>(spellings[0][1]));

    const char* block = block_of(run.begin);
    uint64_t live = ~0ull << (run.begin - block);  // bits at or after the walk's position
    for (;;) {
        __m256i x0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(block));
        __m256i x1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(block + 32));
        __m256i z0 = _mm256_cmpeq_epi8(x0, zero);
        __m256i z1 = _mm256_cmpeq_epi8(x1, zero);
        __m256i any = _mm256_or_si256(
            _mm256_or_si256(z0, z1),
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x0, a), _mm256_cmpeq_epi8(x0, b)),
                            _mm256_or_si256(_mm256_cmpeq_epi8(x1, a), _mm256_cmpeq_epi8(x1, b))));
        const char* next_block = block + block_size;
        uint64_t next_live = ~0ull;
        if (!_mm256_testz_si256(any, any)) {
            uint64_t nul = static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(z1))) << 32 |
                           static_cast<uint32_t>(_mm256_movemask_epi8(z0));
            uint64_t want = matching(x0, x1, spellings[k]);
            while (uint64_t events = (nul | want) & live) {
                unsigned bit = static_cast<unsigned>(__builtin_ctzll(events));
                live = ~1ull << bit;
                if (nul >> bit & 1) {
                    if (++i == high)
                        return;
                    if (k == 0)
                        continue;
                } else if (++k < n) {
                    want = matching(x0, x1, spellings[k]);
                    continue;
                } else {
                    chain_append(entries + i, head, tail);
                    if (++i == high)
                        return;
                    // The rest of the label is of no interest.
                    const char* next = entries[i].label;
                    if (next - block >= static_cast<ptrdiff_t>(block_size)) {
                        k = 0;
                        next_block = block_of(next);
                        next_live = ~0ull << (next - next_block);
                        break;
                    }
                    live = ~0ull << (next - block);
                }
                k = 0;
                want = matching(x0, x1, spellings[0]);
            }
            // The next block is first tested for the byte wanted now.
            a = _mm256_set1_epi8(static_cast<char>(spellings[k][0]));
            b = _mm256_set1_epi8(static_cast<char>(spellings[k][1]));
        }
        block = next_block;
        live = next_live;
    }
}

}  // namespace

__attribute__((target("avx2"), no_sanitize_address, no_sanitize_thread))
void append_holding_in_order(Entry* entries, const LabelRun& run, const unsigned char (*spellings)[2],
                             size_t n, Entry*& head, Entry*& tail)
{
    // Locals, which the stores into the entries cannot touch.
    Entry* first = head;
    Entry* last = tail;
    walk(entries, run, spellings, n, first, last);
    head = first;
    tail = last;
}

#else

bool subsequence_scan_available()
{
    return false;
}

void append_holding_in_order(Entry*, const LabelRun&, const unsigned char (*)[2], size_t, Entry*&, Entry*&) {}

#endif
