#include "sessions/frequency_picture.hpp"

#include <cmath>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

SpectrumOverlay Titled(std::string title) {
  SpectrumOverlay o;
  o.title = std::move(title);
  return o;
}

std::string Hz(double value) { return std::to_string(std::lrint(value)) + " Hz"; }

SpectrumOverlay LowPass(const PasseBasState& lp) {
  if (lp.LowPassBypass) {
    return Titled("Passe-bas : sans");
  }
  return {SpectrumOverlay::Band::Kept,
          0.0,
          lp.LowPassCutoff,
          0.0,
          0.0,
          false,
          "Passe-bas : coupure " + Hz(lp.LowPassCutoff)};
}

SpectrumOverlay BandPass(const PasseBandeState& bp, uint32_t carrier) {
  if (bp.BandPassBypass) {
    return Titled("Passe-bande : sans");
  }
  // The design's own edges: centre ± width / 2, kept within 100..3900 Hz.
  return {SpectrumOverlay::Band::Kept,
          bp.BandLowerEdge,
          bp.BandUpperEdge,
          static_cast<double>(carrier),
          0.0,
          false,
          "Passe-bande : " + Hz(bp.BandPassCentre) + ", largeur " + Hz(bp.BandPassWidth)};
}

// The notch tables stop ±150 Hz (wide) or ±50 Hz (narrow) around the notch.
SpectrumOverlay Rejector(const RejecteurState& r) {
  const double half = r.NotchWide == 1 ? 150.0 : 50.0;
  SpectrumOverlay o{SpectrumOverlay::Band::Removed,
                    r.NotchFrequency - half,
                    r.NotchFrequency + half,
                    0.0,
                    0.0,
                    false,
                    "Réjecteur : " + Hz(r.NotchFrequency)};
  if (r.NotchAuto == 1) {
    o.title += r.CarrierFound == 1 ? ", porteuse trouvée" : ", recherche";
    if (r.CarrierFound == 1) {
      o.carrier = r.NotchFrequency;
    } else {
      o.band = SpectrumOverlay::Band::None;  // nothing taken out until a carrier is found
    }
  }
  return o;
}

SpectrumOverlay Bfo(const DspState& dsp) {
  const double binWidth = dsp.SampleRate / 1024.0;
  const double shift = dsp.Bfo.BfoShift * binWidth;
  SpectrumOverlay o;
  o.shift = shift;
  o.inverted = dsp.Bfo.BfoInverted;
  o.title = "BFO : translation " + Hz(shift) + (dsp.Bfo.BfoInverted ? ", spectre inversé" : "");
  return o;
}

}  // namespace

SpectrumOverlay OverlayOf(const DspState& dsp, uint32_t centringCarrier) {
  if (dsp.FilterKind == kPasseBas) {
    return LowPass(dsp.PasseBas);
  }
  if (dsp.FilterKind == kPasseBande) {
    return BandPass(dsp.PasseBande, centringCarrier);
  }
  if (dsp.FilterKind == kRejecteurParTfd) {
    return Rejector(dsp.Rejecteur);
  }
  if (dsp.FilterKind == kBfoNumerique) {
    return Bfo(dsp);
  }
  if (dsp.FilterKind == kReducteurGeneral) {
    return Titled("Réducteur de bruit général");
  }
  if (dsp.FilterKind == kReducteurCw) {
    return Titled("Réducteur de bruit CW/RTTY");
  }
  return {};
}

SpectrumPicture PictureOf(const SpectrumState& spectrum, const DspState& dsp) {
  SpectrumPicture p;
  p.SampleRate = spectrum.FramesAveraged > 0 ? spectrum.SampleRate : dsp.SampleRate;
  p.HasTraces = spectrum.FramesAveraged > 0;
  p.InputDb = TraceDb(spectrum.Input);
  p.OutputDb = TraceDb(spectrum.Output);
  p.Overlay = OverlayOf(dsp, spectrum.CentringCarrier);
  return p;
}

}  // namespace velunda
