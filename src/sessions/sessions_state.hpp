#pragma once
#include <cstdint>

namespace velunda {

// What the action launch and the filter screens keep for the whole run. The rejector's and the
// reducers' rates live with their filters (RejectorSampleRate, VoiceReducerSampleRate...), the
// output level in ProgramState.
struct SessionsState {
  int32_t BandPassSampleRate = 8000;  // the rate a band-pass session returns to after a centring
  int32_t BfoBinWidth = 6103;         // mHz per transform bin of the BFO

  // Band-pass session: run the loop once more, as an automatic centring.
  bool SessionRepeat = false;
  bool CentringRequested = false;
  // The user ended the session (End or a click): a centring in progress does not resume.
  bool EndRequested = false;

  // --latence courte: the per-sample filters run with short blocks (see PerSampleBlockLength).
  bool ShortLatency = false;
};

// Block length of the per-sample filters (low-pass, band-pass, both noise reducers) at `rate`:
// a third of a second, or 16 ms in the short-delay mode (128 samples at 8000 Hz, 176 at 11025).
// The sound heard trails the sound captured by two blocks, plus the filter's own delay and, in
// the short mode, the ALSA back-end's lead (kShortBlockTiming: the playback there follows the
// capture block by block, so the block length no longer has to cover the sound system's own
// delays). Through PulseAudio: about 57 ms from the receiver to the loudspeaker.
inline constexpr int32_t kShortBlockMs = 16;
constexpr int32_t PerSampleBlockLength(int32_t rate, bool shortLatency) {
  return shortLatency ? rate * kShortBlockMs / 1000 : rate / 3;
}

}  // namespace velunda
