#include "engine/tests_carte_son.hpp"

#include "dsp/dsp_state.hpp"
#include "engine/engine_state.hpp"

namespace velunda {
namespace {

// Waits, with short sleeps, until input header k holds BlockLength bytes; false on time-out.
bool WaitFilled(const EnginePlatform& p, const WaveHeader& h, int32_t blockLength) {
  const uint32_t start = p.clock.NowMs();
  while (h.dwBytesRecorded < static_cast<uint32_t>(blockLength)) {
    if (p.clock.NowMs() - start > kCaptureWaitLimitMs) {
      return false;
    }
    p.events.WaitBriefly(1);
  }
  return true;
}

uint8_t Refuse(EngineState& e, const EnginePlatform& p, std::string_view text) {
  ErrorBeep(e.Timing, p.speaker);
  p.box.ShowError(text);
  return 0;
}

}  // namespace

bool RateAccepted(int32_t requested, int32_t measured) {
  return measured > requested - 400 && measured < requested + 400;
}

uint8_t CheckSoundCardPresence(EngineState& e, const EnginePlatform& p) {
  FonctionsWaveState& w = e.Wave;
  w.OpenErrorMessages = 0;
  uint8_t result = 1;
  QueryCapabilities(w, p);
  if (w.InputDeviceCount == 0 || w.OutputDeviceCount == 0) {
    result = Refuse(e, p, "Fonctionnement impossible car il n'y a pas de carte son.");
  } else if ((w.InputFormats & WAVE_FORMAT_1M08) == 0 &&
             (w.OutputFormats & WAVE_FORMAT_1M08) == 0) {
    result = Refuse(e, p,
                    "Fonctionnement impossible car le format minimum requis pour la carte son "
                    "n'est pas disponible.");
  }
  w.OpenErrorMessages = 1;
  return result;
}

namespace {

uint8_t TestSteps(EngineState& e, DspState& dsp, const EnginePlatform& p) {
  FonctionsWaveState& w = e.Wave;
  QueryCapabilities(w, p);
  if (w.InputDeviceCount == 0 || w.OutputDeviceCount == 0) {
    return Refuse(e, p, "Fonctionnement impossible car il n'y a pas de carte son");
  }
  if ((w.InputFormats & WAVE_FORMAT_1M08) == 0 || (w.OutputFormats & WAVE_FORMAT_1M08) == 0) {
    return Refuse(e, p, "Fonctionnement impossible car format minimum non disponible.");
  }
  constexpr std::string_view kInputBusy =
      "Fonctionnement impossible car entrée carte son utilisée par une autre application.";
  if (OpenInput(w, p, 1, 11025, 0) != 0) {
    return Refuse(e, p, kInputBusy);
  }
  CloseInput(w, p);
  if (OpenOutput(w, p, 1, 11025) != 0) {
    return Refuse(e, p,
                  "Fonctionnement impossible car sortie carte son utilisée par une autre "
                  "application.");
  }
  CloseOutput(w, p);
  if (OpenInput(w, p, 1, 11025, 0) != 0) {
    return Refuse(e, p, kInputBusy);
  }
  if (OpenOutput(w, p, 1, 11025) != 0) {
    Refuse(e, p,
           "Fonctionnement impossible car soit la carte son (ou son driver) n'est pas "
           "full-duplex, soit le PC n'est pas assez rapide.");
    CloseInput(w, p);
    return 0;
  }
  CloseInput(w, p);
  CloseOutput(w, p);
  e.CardTests.Measured8000 = MeasureCaptureRate(e, dsp, p, 8000);
  if (RateAccepted(8000, e.CardTests.Measured8000)) {
    e.CardTests.Rate8000OK = 1;
  }
  e.CardTests.Measured6250 = MeasureCaptureRate(e, dsp, p, 6250);
  if (RateAccepted(6250, e.CardTests.Measured6250)) {
    e.CardTests.Rate6250OK = 1;
  }
  return 1;
}

}  // namespace

uint8_t TestSoundCard(EngineState& e, DspState& dsp, const EnginePlatform& p) {
  e.Wave.OpenErrorMessages = 0;
  const uint8_t result = TestSteps(e, dsp, p);
  e.Wave.OpenErrorMessages = 1;
  // The opens and closes of the test leave notices that no session must see.
  p.events.DrainDeviceNotices();
  return result;
}

int32_t MeasureCaptureRate(EngineState& e, DspState& dsp, const EnginePlatform& p, int32_t rate) {
  FonctionsWaveState& w = e.Wave;
  dsp.BlockLength = rate;
  if (OpenInput(w, p, 1, rate, 0) != 0) {
    return 0;
  }
  bool measured = false;
  uint32_t t1 = 0;
  uint32_t t2 = 0;
  int missing = AllocateHeader(w, p, WaveSide::Input, 1, rate);
  missing |= AllocateHeader(w, p, WaveSide::Input, 2, rate);
  if (missing == 0 && QueueInputBuffers(w, p) == 0) {
    StartInput(w, p);
    if (WaitFilled(p, *w.Input[0].header, rate)) {
      t1 = p.clock.NowMs();
      if (WaitFilled(p, *w.Input[1].header, rate)) {
        t2 = p.clock.NowMs();
        measured = true;
      }
    }
  }
  // Also after a failed preparation: nothing stays queued, prepared or allocated.
  ResetInput(w, p);
  if (w.Input[0].header != nullptr) {
    UnprepareInputHeader(w, p, 1);
  }
  if (w.Input[1].header != nullptr) {
    UnprepareInputHeader(w, p, 2);
  }
  ReleaseHeader(w, p, WaveSide::Input, 1);
  ReleaseHeader(w, p, WaveSide::Input, 2);
  CloseInput(w, p);
  // Its notices name headers that no longer exist.
  p.events.DrainDeviceNotices();
  if (measured && t1 < t2) {
    return static_cast<int32_t>(int64_t{rate} * 1000 / (t2 - t1));
  }
  return kNoMeasurement;
}

void Timer1Timer(EngineState& e, DspState& dsp, const EnginePlatform& p,
                 const RateBoxWriter& rateBox) {
  if (e.StartupDone == 0 || e.CardTests.TestDone == 1) {
    return;
  }
  rateBox("En test!", true);
  e.CardTests.TestDone = 1;
  e.CardTests.SoundCardOK = TestSoundCard(e, dsp, p);
  rateBox(e.CardTests.Rate8000OK == 1 ? "Fe=8000" : "Fe=11025", false);
}

}  // namespace velunda
