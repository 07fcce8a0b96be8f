#include "dsp/fir_kernel.hpp"

#include <algorithm>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VELUNDA_FIR_X86 1
#endif

namespace velunda {

void FirSplitFrom(FirSplit& split, const int32_t* coefficients, int32_t pairs) {
  const int32_t n = std::clamp(pairs, 0, kFirMaxPairs);
  split.low.fill(0);
  split.high.fill(0);
  split.whole.fill(0);
  int32_t highEnd = 0;
  for (int32_t k = 0; k < n; ++k) {
    const auto c = static_cast<uint32_t>(coefficients[k]);
    const auto low = static_cast<int16_t>(c & 0xFFFFu);
    // c - low is a multiple of 65536; only its next 16 bits matter modulo 2^32.
    const auto high = static_cast<int16_t>((c - static_cast<uint32_t>(int32_t{low})) >> 16);
    split.low[static_cast<size_t>(k)] = low;
    split.high[static_cast<size_t>(k)] = high;
    split.whole[static_cast<size_t>(k)] = coefficients[k];
    if (high != 0) {
      highEnd = k + 1;
    }
  }
  split.chunks = (n + kFirChunk - 1) / kFirChunk;
  split.highChunks = (highEnd + kFirChunk - 1) / kFirChunk;
}

namespace {

// Generic 128-bit vectors, which every GCC or Clang target lowers to its own vector unit (or
// to scalars): the pair sums widened to 32 bits, times the whole coefficients, in unsigned
// lanes so that every wrap is defined.
using U32x4 = uint32_t __attribute__((vector_size(16)));
using I32x4 = int32_t __attribute__((vector_size(16)));
using I16x4 = int16_t __attribute__((vector_size(8)));

inline U32x4 PairProducts4(const int16_t* a, const int16_t* b, const int32_t* c) {
  I16x4 va;
  I16x4 vb;
  U32x4 vc;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  std::memcpy(&vc, c, sizeof vc);
  const I16x4 v = va + vb;
  return __builtin_convertvector(__builtin_convertvector(v, I32x4), U32x4) * vc;
}

template <int Rows>
void SumsPortable(const int16_t* const* newer, const int16_t* const* older, const FirSplit& split,
                  uint32_t* sums) {
  const int32_t n = split.chunks * kFirChunk;
  const int32_t* c = split.whole.data();
  for (int r = 0; r < Rows; ++r) {
    U32x4 acc0 = {};
    U32x4 acc1 = {};
    for (int32_t k = 0; k < n; k += 8) {
      acc0 += PairProducts4(newer[r] + k, older[r] + k, c + k);
      acc1 += PairProducts4(newer[r] + k + 4, older[r] + k + 4, c + k + 4);
    }
    acc0 += acc1;
    sums[r] = acc0[0] + acc0[1] + acc0[2] + acc0[3];
  }
}

#ifdef VELUNDA_FIR_X86

// 16 pairs per chunk: the pair sums in 16-bit lanes (exact, |a + b| <= 32767), then pmaddwd
// into 32-bit lanes that wrap as the sum must.
template <int Rows>
__attribute__((target("sse2"))) void SumsSse2(const int16_t* const* newer,
                                              const int16_t* const* older, const FirSplit& split,
                                              uint32_t* sums) {
  __m128i low[Rows];
  __m128i high[Rows];
#pragma GCC unroll 4
  for (int r = 0; r < Rows; ++r) {
    low[r] = _mm_setzero_si128();
    high[r] = _mm_setzero_si128();
  }
  const auto* cl = reinterpret_cast<const __m128i*>(split.low.data());
  const auto* ch = reinterpret_cast<const __m128i*>(split.high.data());
  int32_t i = 0;
  for (; i < 2 * split.highChunks; ++i) {
    const __m128i wl = _mm_load_si128(cl + i);
    const __m128i wh = _mm_load_si128(ch + i);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(newer[r] + 8 * i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(older[r] + 8 * i));
      const __m128i v = _mm_add_epi16(a, b);
      low[r] = _mm_add_epi32(low[r], _mm_madd_epi16(v, wl));
      high[r] = _mm_add_epi32(high[r], _mm_madd_epi16(v, wh));
    }
  }
  for (; i < 2 * split.chunks; ++i) {
    const __m128i wl = _mm_load_si128(cl + i);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(newer[r] + 8 * i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(older[r] + 8 * i));
      low[r] = _mm_add_epi32(low[r], _mm_madd_epi16(_mm_add_epi16(a, b), wl));
    }
  }
#pragma GCC unroll 4
  for (int r = 0; r < Rows; ++r) {
    uint32_t l[4];
    uint32_t h[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(l), low[r]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), high[r]);
    sums[r] = (l[0] + l[1] + l[2] + l[3]) + ((h[0] + h[1] + h[2] + h[3]) << 16);
  }
}

template <int Rows>
__attribute__((target("avx2"))) void SumsAvx2(const int16_t* const* newer,
                                              const int16_t* const* older, const FirSplit& split,
                                              uint32_t* sums) {
  __m256i low[Rows];
  __m256i high[Rows];
#pragma GCC unroll 4
  for (int r = 0; r < Rows; ++r) {
    low[r] = _mm256_setzero_si256();
    high[r] = _mm256_setzero_si256();
  }
  const auto* cl = reinterpret_cast<const __m256i*>(split.low.data());
  const auto* ch = reinterpret_cast<const __m256i*>(split.high.data());
  int32_t i = 0;
  for (; i < split.highChunks; ++i) {
    const __m256i wl = _mm256_load_si256(cl + i);
    const __m256i wh = _mm256_load_si256(ch + i);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(newer[r] + 16 * i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(older[r] + 16 * i));
      const __m256i v = _mm256_add_epi16(a, b);
      low[r] = _mm256_add_epi32(low[r], _mm256_madd_epi16(v, wl));
      high[r] = _mm256_add_epi32(high[r], _mm256_madd_epi16(v, wh));
    }
  }
  for (; i < split.chunks; ++i) {
    const __m256i wl = _mm256_load_si256(cl + i);
#pragma GCC unroll 4
    for (int r = 0; r < Rows; ++r) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(newer[r] + 16 * i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(older[r] + 16 * i));
      low[r] = _mm256_add_epi32(low[r], _mm256_madd_epi16(_mm256_add_epi16(a, b), wl));
    }
  }
  // Each row's lanes as low + 65536 * high, then the lanes of all rows summed together.
  __m256i row[Rows];
#pragma GCC unroll 4
  for (int r = 0; r < Rows; ++r) {
    row[r] = _mm256_add_epi32(low[r], _mm256_slli_epi32(high[r], 16));
  }
  __m128i total;
  if constexpr (Rows == 4) {
    // Lanes 0..3 of the halves: rows 0, 1, 2, 3.
    const __m256i h =
        _mm256_hadd_epi32(_mm256_hadd_epi32(row[0], row[1]), _mm256_hadd_epi32(row[2], row[3]));
    total = _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
  } else {
    static_assert(Rows == 1);
    total = _mm_add_epi32(_mm256_castsi256_si128(row[0]), _mm256_extracti128_si256(row[0], 1));
    total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0x4E));
    total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0xB1));
  }
  uint32_t lanes[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), total);
  std::copy_n(lanes, Rows, sums);
}

#endif

constexpr FirKernelVariant kPortable{"portable", SumsPortable<1>, SumsPortable<4>};

std::vector<FirKernelVariant> Supported() {
  std::vector<FirKernelVariant> v{kPortable};
#ifdef VELUNDA_FIR_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) {
    v.push_back({"sse2", SumsSse2<1>, SumsSse2<4>});
  }
  if (__builtin_cpu_supports("avx2")) {
    v.push_back({"avx2", SumsAvx2<1>, SumsAvx2<4>});
  }
#endif
  return v;
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define VELUNDA_FIR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELUNDA_FIR_CLONES
#endif

using U32x8 = uint32_t __attribute__((vector_size(32)));

// (c[k] * (a[k] + b[k])) over 8 lanes, added into acc. By reference: vectors never cross
// a call boundary, so the clones keep one ABI.
inline void PairMac8(U32x8& acc, const int32_t* a, const int32_t* b, const int32_t* c) {
  U32x8 va;
  U32x8 vb;
  U32x8 vc;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  std::memcpy(&vc, c, sizeof vc);
  acc += (va + vb) * vc;
}

}  // namespace

std::vector<FirKernelVariant> SupportedFirKernels() { return Supported(); }

const FirKernelVariant& ActiveFirKernel() {
  static const FirKernelVariant active = Supported().back();
  return active;
}

// Unsigned lanes: every wrap is defined and the modular result is that of the 32-bit signed
// sum whatever the order.
VELUNDA_FIR_CLONES uint32_t PairSumMod32(const int32_t* a, const int32_t* b, const int32_t* c,
                                         int32_t n) {
  U32x8 acc0 = {};
  U32x8 acc1 = {};
  int32_t k = 0;
  for (; k + 16 <= n; k += 16) {
    PairMac8(acc0, a + k, b + k, c + k);
    PairMac8(acc1, a + k + 8, b + k + 8, c + k + 8);
  }
  acc0 += acc1;
  uint32_t sum = 0;
  for (int lane = 0; lane < 8; ++lane) {
    sum += acc0[lane];
  }
  for (; k < n; ++k) {
    sum +=
        (static_cast<uint32_t>(a[k]) + static_cast<uint32_t>(b[k])) * static_cast<uint32_t>(c[k]);
  }
  return sum;
}

}  // namespace velunda
