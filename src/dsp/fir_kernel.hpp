#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The machinery under the symmetric FIR kernel: its sample histories, its coefficients with
// the 16-bit split the fast pair sums run on, and those pair sums.
namespace velunda {

inline constexpr int32_t kFirMaxTaps = 1000;
inline constexpr int32_t kFirMaxPairs = kFirMaxTaps / 2;
// Pairs are summed in chunks of 16; a split is padded with zeros up to whole chunks.
inline constexpr int32_t kFirChunk = 16;
inline constexpr int32_t kFirPaddedPairs = 512;

// Sample history of a symmetric FIR, read as delay[i] (index 0 newest, i periods older).
//
// Layout: two doubled rings of Capacity slots, one newest-first and one oldest-first, so
// that both halves of every coefficient pair are read in ascending memory order (no
// reversal, the pair sum vectorises). Ageing moves two indices instead of shifting up to
// 1000 values. Entries up to kFirMaxTaps - 1 are kept; reads of delay[0..2H-1] are exactly
// those of a history shifted in place over any length N >= 2H. Entries beyond the filter's
// own length are not frozen as a shifted array would keep them: no filter reads there.
// A Capacity above kFirMaxTaps leaves room to write a few samples ahead of the one being
// summed; the padding lets a sum read a whole last chunk past the window (its coefficients
// are zero there).
template <typename T, int32_t Capacity>
struct BasicFirHistory {
  static_assert(Capacity >= kFirMaxTaps);
  static constexpr int32_t kCapacity = Capacity;
  static constexpr int32_t kPadding = kFirChunk;
  // newestFirst[newestPos + i] == delay[i], newestPos in [0, Capacity).
  std::array<T, 2 * Capacity + kPadding> newestFirst{};
  // oldestFirst[oldestPos - i] == delay[i], oldestPos in [Capacity, 2 * Capacity).
  std::array<T, 2 * Capacity + kPadding> oldestFirst{};
  int32_t newestPos = 0;
  int32_t oldestPos = Capacity;
};

// The CW/RTTY reducer's band-pass stage: 32-bit values of its own scale.
using FirHistory = BasicFirHistory<int32_t, kFirMaxTaps>;
// The kernel's history: bytes in the internal scale 2s - 255 (odd, -255..+255), so that the
// sum of a pair fits 16 bits. Four samples can be written ahead (the block step).
using ByteFirHistory = BasicFirHistory<int16_t, 1024>;

// Sets every entry to 0.
template <typename H>
void FirHistoryClear(H& h) {
  h.newestFirst.fill(0);
  h.oldestFirst.fill(0);
  h.newestPos = 0;
  h.oldestPos = H::kCapacity;
}

// delay[i], 0 <= i < kFirMaxTaps.
template <typename H>
int32_t FirHistoryAt(const H& h, int32_t i) {
  return h.newestFirst[static_cast<size_t>(h.newestPos + i)];
}

// delay[0] := x in both rings (each slot lives twice, at s and s + Capacity); nothing moves.
template <typename H>
void FirHistorySetNewest(H& h, int32_t x) {
  using T = typename decltype(h.newestFirst)::value_type;
  const auto v = static_cast<T>(x);
  const auto p = static_cast<size_t>(h.newestPos);
  const auto q = static_cast<size_t>(h.oldestPos);
  h.newestFirst[p] = v;
  h.newestFirst[p + H::kCapacity] = v;
  h.oldestFirst[q] = v;
  h.oldestFirst[q - H::kCapacity] = v;
}

// Moves both rings' positions one period on: the old delay[i] becomes delay[i + 1]; the new
// delay[0] is the slot of the oldest entry, not yet written.
template <typename H>
void FirHistoryAdvance(H& h) {
  h.newestPos = h.newestPos == 0 ? H::kCapacity - 1 : h.newestPos - 1;
  h.oldestPos = h.oldestPos == 2 * H::kCapacity - 1 ? H::kCapacity : h.oldestPos + 1;
}

// delay[i + 1] := delay[i] for every i; delay[0] keeps its value.
template <typename H>
void FirHistoryAge(H& h) {
  const int32_t x = FirHistoryAt(h, 0);
  FirHistoryAdvance(h);
  FirHistorySetNewest(h, x);
}

// Ages the history, then delay[0] := x (a history that shifts before it takes the sample).
template <typename H>
void FirHistoryPush(H& h, int32_t x) {
  FirHistoryAdvance(h);
  FirHistorySetNewest(h, x);
}

// First entries of the two halves of the pair sum over n pairs, both ascending in k:
// newer[k] == delay[n-1-k], older[k] == delay[n+k].
template <typename H>
const auto* FirNewerHalf(const H& h, int32_t n) {
  return h.oldestFirst.data() + (h.oldestPos - n + 1);
}
template <typename H>
const auto* FirOlderHalf(const H& h, int32_t n) {
  return h.newestFirst.data() + (h.newestPos + n);
}

// Coefficient c as low + 65536 * high modulo 2^32, both halves signed 16-bit: low is the
// sign-extended low half of c, high the next 16 bits of c - low. With a history pair that fits
// 16 bits, c * v == low * v + 65536 * high * v (mod 2^32), and each product is exact in a
// 32-bit lane of pmaddwd. Zero past the first `pairs` coefficients, up to whole chunks.
struct FirSplit {
  alignas(32) std::array<int16_t, kFirPaddedPairs> low{};
  alignas(32) std::array<int16_t, kFirPaddedPairs> high{};
  alignas(32) std::array<int32_t, kFirPaddedPairs> whole{};  // the coefficients, for 32-bit lanes
  int32_t chunks = 0;                                        // chunks of 16 that cover the pairs
  int32_t highChunks = 0;  // leading chunks with a nonzero high half (the rest are all zero)
};

void FirSplitFrom(FirSplit& split, const int32_t* coefficients, int32_t pairs);

// Half of a symmetric impulse response, scaled by 100000, read and written like a
// std::array. Any non-const access marks the split stale; the next sum remakes it. Do not
// keep a reference or iterator from a non-const access across a filtering step.
class FirCoefficients {
 public:
  using Values = std::array<int32_t, kFirMaxPairs>;

  int32_t operator[](size_t k) const { return values_[k]; }
  int32_t& operator[](size_t k) {
    stale_ = true;
    return values_[k];
  }
  Values::const_iterator begin() const { return values_.begin(); }
  Values::const_iterator end() const { return values_.end(); }
  Values::iterator begin() {
    stale_ = true;
    return values_.begin();
  }
  Values::iterator end() {
    stale_ = true;
    return values_.end();
  }
  void fill(int32_t c) {
    stale_ = true;
    values_.fill(c);
  }
  static constexpr size_t size() { return kFirMaxPairs; }
  const Values& values() const { return values_; }
  bool operator==(const FirCoefficients& other) const { return values_ == other.values_; }

  // The split of the first `pairs` coefficients, remade when the values or `pairs` changed.
  const FirSplit& SplitFor(int32_t pairs) {
    if (stale_ || pairs != splitPairs_) {
      FirSplitFrom(split_, values_.data(), pairs);
      splitPairs_ = pairs;
      stale_ = false;
    }
    return split_;
  }

 private:
  Values values_{};
  FirSplit split_;
  int32_t splitPairs_ = -1;
  bool stale_ = true;
};

// Pair sums on 16-bit histories: sums[r] = sum over k of c[k] * (newer[r][k] + older[r][k])
// modulo 2^32 for r < rows, c as in the split; each newer[r][k] + older[r][k] must fit 16
// bits. The readers read split.chunks whole chunks from every pointer.
using FirPairSums16 = void (*)(const int16_t* const* newer, const int16_t* const* older,
                               const FirSplit& split, uint32_t* sums);

struct FirKernelVariant {
  std::string_view name;
  FirPairSums16 one;   // rows == 1
  FirPairSums16 four;  // rows == 4
};

// Every variant this processor runs, the portable one first and the fastest last.
std::vector<FirKernelVariant> SupportedFirKernels();
// The variant the filters use: the fastest supported, chosen once.
const FirKernelVariant& ActiveFirKernel();

// Sum over k < n of c[k] * (a[k] + b[k]) in 32-bit wrap-around, on 32-bit values (the
// CW/RTTY reducer's history).
uint32_t PairSumMod32(const int32_t* a, const int32_t* b, const int32_t* c, int32_t n);

}  // namespace velunda
