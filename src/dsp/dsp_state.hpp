#pragma once
#include <cstdint>
#include <string>

#include "dsp/passebande.hpp"
#include "dsp/passebas.hpp"
#include "dsp/reconstructeur.hpp"
#include "dsp/reducer_common.hpp"
#include "dsp/reducteur_bruit_cw_rtty.hpp"
#include "dsp/reducteur_wiener_phonie.hpp"
#include "dsp/rejecteur_par_tfd.hpp"

namespace velunda {

// Signal-processing state for the whole run: the session parameters the filters read,
// the exchange cell, the shared kernel and transform, and each filter's own settings.
// Large (a few hundred kB): allocate it on the heap.
struct DspState {
  std::string FilterKind;     // one of filter_kind.hpp, or anything else (no filter)
  int32_t SampleRate = 8000;  // both devices' rate
  int32_t BlockLength = 2666; // samples per wave buffer
  uint8_t CurrentSample = 128;

  SymmetricFir Fir;
  TransformState Transform;

  PasseBasState PasseBas;
  PasseBandeState PasseBande;
  BfoState Bfo;
  RejecteurState Rejecteur;
  ReducerShared Reducteurs;
  ReducteurGeneralState ReducteurGeneral;
  ReducteurCwState ReducteurCw;
};

}  // namespace velunda
