#pragma once
#include <cstdint>

namespace velunda {

// What the action launch and the filter screens keep for the whole run. The rejector's and the
// reducers' rates live with their filters (RejectorSampleRate, VoiceReducerSampleRate...), the
// output level in ProgramState.
struct SessionsState {
  int32_t LowPassSampleRate = 8000;
  int32_t BandPassSampleRate = 8000;
  int32_t BfoSampleRate = 6250;
  int32_t BfoBinWidth = 6103;  // mHz per transform bin of the BFO

  // Band-pass session: run the loop once more, as an automatic centring.
  bool SessionRepeat = false;
  bool CentringRequested = false;
  bool CarrierSearchActive = false;
  // The user ended the session (End or a click): a centring in progress does not resume.
  bool EndRequested = false;
};

}  // namespace velunda
