#include "engine/boucle.hpp"

#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"
#include "engine/engine_state.hpp"

namespace velunda {
namespace {

// Pair index 1 or 2 of a header, or 0 when it is none of the side's.
int PairOf(const std::array<WaveBlock, 2>& side, const WaveHeader* h) {
  if (h == side[0].header) {
    return 1;
  }
  if (h == side[1].header) {
    return 2;
  }
  return 0;
}

// False when the buffer could not go back to the device: the session must end.
bool OutputReturned(EngineState& e, const EnginePlatform& p, const WaveHeader* h) {
  const int k = PairOf(e.Wave.Output, h);
  if (k == 0) {
    return true;
  }
  UnprepareOutputHeader(e.Wave, p, k);
  return PrepareOutputHeader(e.Wave, p, k) == 0 && WriteOutputBuffer(e.Wave, p, k) == 0;
}

void InputFilled(EngineState& e, DspState& dsp, SessionScreen& screen, const EnginePlatform& p,
                 const WaveHeader* h) {
  const int k = PairOf(e.Wave.Input, h);
  if (k == 0) {
    return;
  }
  UnprepareInputHeader(e.Wave, p, k);
  PrepareInputHeader(e.Wave, p, k);
  const size_t i = static_cast<size_t>(k - 1);
  ProcessBlock(dsp, e.Wave.Input[i].buffer, e.Wave.Output[i].buffer);
  screen.BlockFiltered(e.Wave.Input[i].buffer, e.Wave.Output[i].buffer, dsp.BlockLength);
  if (!screen.BlockDone()) {
    e.StopRequested = 1;
  }
  AddInputBuffer(e.Wave, p, k);
}

// The keys and clicks of one pass; true when one came.
bool PollUser(EngineState& e, SessionScreen& screen, const EnginePlatform& p) {
  bool found = false;
  if (p.events.PollLeftButtonDown()) {
    found = true;
    if (!screen.Clicked()) {
      e.StopRequested = 1;
    }
  }
  KeyMessage key;
  if (p.events.PollKeyboard(key)) {
    found = true;
    const uint8_t code = key.message == WM_KEYDOWN ? SessionKeyCode(key.lParam) : 0;
    if (code != 0 && !screen.KeyDown(code)) {
      e.StopRequested = 1;
    }
  }
  return found;
}

// Closes what is open and frees what was allocated; every step reports its own failure.
void Teardown(EngineState& e, const EnginePlatform& p) {
  FonctionsWaveState& w = e.Wave;
  if (w.InputOpen) {
    ResetInput(w, p);
    UnprepareInputHeader(w, p, 2);
    UnprepareInputHeader(w, p, 1);
    CloseInput(w, p);
  }
  if (w.OutputOpen) {
    ResetOutput(w, p);
    UnprepareOutputHeader(w, p, 1);
    UnprepareOutputHeader(w, p, 2);
    CloseOutput(w, p);
  }
  ReleaseHeader(w, p, WaveSide::Input, 1);
  ReleaseHeader(w, p, WaveSide::Input, 2);
  ReleaseHeader(w, p, WaveSide::Output, 1);
  ReleaseHeader(w, p, WaveSide::Output, 2);
}

bool Prepare(EngineState& e, DspState& dsp, const EnginePlatform& p) {
  FonctionsWaveState& w = e.Wave;
  return OpenOutputSide(w, p, dsp.SampleRate, dsp.BlockLength) == 0 &&
         OpenInputSide(w, p, dsp.SampleRate, dsp.BlockLength) == 0 &&
         QueueInputBuffers(w, p) == 0 && QueueOutputBuffers(w, p, dsp.BlockLength) == 0;
}

}  // namespace

uint8_t ExtendedScanCode(uint32_t lParam) {
  const uint32_t key = lParam >> 16;
  return (key & 0x100u) != 0 ? static_cast<uint8_t>(key & 0xFFu) : 0;
}

uint8_t SessionKeyCode(uint32_t lParam) {
  const uint8_t code = ExtendedScanCode(lParam);
  if (code != 0) {
    return code;
  }
  return ((lParam >> 16) & 0x1FFu) == kScanF2 ? kScanF2 : 0;
}

void RunSession(EngineState& e, DspState& dsp, SessionScreen& screen, const EnginePlatform& p) {
  if (!Prepare(e, dsp, p)) {
    // A session that does not start keeps nothing open or allocated.
    Teardown(e, p);
    p.events.DrainDeviceNotices();
    return;
  }
  StartInput(e.Wave, p);
  e.StopRequested = 0;
  screen.Started();

  while (e.StopRequested == 0) {
    bool found = false;
    DeviceNotice notice;
    if (p.events.PollDeviceNotice(notice)) {
      found = true;
      if (notice.message == MM_WOM_DONE) {
        if (!OutputReturned(e, p, notice.header)) {
          break;
        }
      } else if (notice.message == MM_WIM_DATA) {
        InputFilled(e, dsp, screen, p, notice.header);
      }
    }
    if (PollUser(e, screen, p)) {
      found = true;
    }
    if (!found) {
      p.events.WaitBriefly(kIdleWaitMs);
    }
  }

  Teardown(e, p);
  p.events.DrainDeviceNotices();
  p.events.DrainKeyboard();
  p.events.DrainMouse();
}

}  // namespace velunda
