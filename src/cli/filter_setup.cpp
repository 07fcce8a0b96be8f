#include "cli/filter_setup.hpp"

#include <array>

#include "cli/options.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

constexpr std::array<std::string_view, 6> kAllKinds{
    kPasseBas, kPasseBande, kRejecteurParTfd, kReducteurGeneral, kReducteurCw, kBfoNumerique};

}  // namespace

bool FilterKnown(std::string_view kind) {
  for (auto known : kAllKinds) {
    if (kind == known) {
      return true;
    }
  }
  return false;
}

bool IsBfoKind(std::string_view kind) { return kind == kBfoNumerique; }

FilterSettings FilterSettingsOf(const Options& o) {
  FilterSettings s = o.filter;
  s.rate = SampleRateOf(o);
  s.blockLength = BlockLengthOf(s.kind, s.rate, false);
  return s;
}

}  // namespace velunda
