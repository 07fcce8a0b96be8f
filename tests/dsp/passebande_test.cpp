#include "dsp/passebande.hpp"

#include "test_support.hpp"

namespace velunda {
namespace {

// Edges from centre and width, cut to 100..3900 Hz; the kernel holds that band with the
// band-pass's own length.
TEST(BandPassSetup, EdgesAndDesign) {
  const std::tuple<uint16_t, double, double, double> cases[] = {
      {1000, 250, 875, 1125},  {100, 60, 100, 130},    {1000, 2000, 100, 2000},
      {100, 120, 100, 160},    {100, 2000, 100, 1100}, {3300, 250, 3175, 3425},
      {3300, 2000, 2300, 3900}};
  for (auto [centre, width, lower, upper] : cases) {
    SCOPED_TRACE(testing::Message() << centre << "/" << width);
    auto dsp = std::make_unique<DspState>();
    dsp->PasseBande.BandPassCentre = centre;
    dsp->PasseBande.BandPassWidth = width;
    dsp->PasseBande.BandPassTapCount = 612;
    BandPassSetup(*dsp);
    EXPECT_EQ(std::pair(dsp->PasseBande.BandLowerEdge, dsp->PasseBande.BandUpperEdge),
              std::pair(lower, upper));
    SymmetricFir expected;
    SymmetricFirDesign(expected, 612, 8000, lower, upper);
    EXPECT_EQ(dsp->Fir.pairCount, 306);
    EXPECT_EQ(dsp->Fir.coefficients.values(), expected.coefficients.values());
  }
}

}  // namespace
}  // namespace velunda
