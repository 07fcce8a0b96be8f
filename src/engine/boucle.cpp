#include "engine/boucle.hpp"

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "dsp/process_block.hpp"
#include "engine/engine_state.hpp"

namespace velunda {
namespace {

void Run(const SessionHooks::Action& action) {
  if (action) {
    action();
  }
}

bool Flag(const std::function<bool()>& f) { return f ? f() : false; }

void EndSession(EngineState& e, const SessionHooks& hooks) {
  Run(hooks.EndSession);
  e.StopRequested = 1;
}

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

void InputFilled(EngineState& e, DspState& dsp, const SessionHooks& hooks, const EnginePlatform& p,
                 const WaveHeader* h) {
  const int k = PairOf(e.Wave.Input, h);
  if (k == 0) {
    return;
  }
  UnprepareInputHeader(e.Wave, p, k);
  PrepareInputHeader(e.Wave, p, k);
  const size_t i = static_cast<size_t>(k - 1);
  ProcessBlock(dsp, e.Wave.Input[i].buffer, e.Wave.Output[i].buffer);
  if (dsp.FilterKind == kRejecteurParTfd) {
    if (Flag(hooks.CarrierSearchActive) && dsp.Rejecteur.DecisionMade == 1) {
      e.StopRequested = 1;
    } else {
      Run(hooks.RejectorBlockDisplay);
    }
  }
  AddInputBuffer(e.Wave, p, k);
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

void DecodeKey(EngineState& e, const DspState& dsp, const SessionHooks& hooks, uint32_t lParam) {
  const uint32_t key = lParam >> 16;
  const uint8_t code = (key & 0x100u) != 0 ? static_cast<uint8_t>(key & 0xFFu) : 0;
  if (code == 0) {
    return;
  }
  switch (code) {
    case kScanEnd:
      EndSession(e, hooks);
      break;
    case kScanUp:
      Run(hooks.OutputLevelUp);
      break;
    case kScanDown:
      Run(hooks.OutputLevelDown);
      break;
    default:
      break;
  }
  const std::string& kind = dsp.FilterKind;
  if (kind == kBfoNumerique) {
    Run(code == kScanLeft     ? hooks.BfoShiftDown
        : code == kScanRight  ? hooks.BfoShiftUp
        : code == kScanDelete ? hooks.BfoSwitchInversion
                              : nullptr);
  } else if (kind == kPasseBas) {
    Run(code == kScanLeft    ? hooks.LowPassCutoffDown
        : code == kScanRight ? hooks.LowPassCutoffUp
                             : nullptr);
  } else if (kind == kPasseBande) {
    Run(code == kScanLeft     ? hooks.BandPassCentreDown
        : code == kScanRight  ? hooks.BandPassCentreUp
        : code == kScanDelete ? hooks.BandPassNextWidth
        : code == kScanInsert ? hooks.BandPassRequestCentring
                              : nullptr);
  } else if (kind == kRejecteurParTfd && !Flag(hooks.CarrierSearchActive)) {
    Run(code == kScanLeft       ? hooks.NotchDown
        : code == kScanRight    ? hooks.NotchUp
        : code == kScanDelete   ? hooks.NotchSwitchWidth
        : code == kScanInsert   ? hooks.NotchSwitchAuto
        : code == kScanPageDown ? hooks.NotchNextThreshold
                                : nullptr);
  } else if (kind == kReducteurGeneral) {
    Run(code == kScanDelete ? hooks.GeneralReducerNextState : nullptr);
  }
  if (kind == kReducteurCw && code == kScanDelete) {
    Run(hooks.CwReducerNextState);
  }
}

void RunSession(EngineState& e, DspState& dsp, const SessionHooks& hooks, const EnginePlatform& p) {
  if (!Prepare(e, dsp, p)) {
    // A session that does not start keeps nothing open or allocated.
    Teardown(e, p);
    p.events.DrainDeviceNotices();
    return;
  }
  StartInput(e.Wave, p);
  e.StopRequested = 0;
  Run(hooks.ApplyOutputLevel);

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
        InputFilled(e, dsp, hooks, p, notice.header);
      }
    }
    if (p.events.PollLeftButtonDown()) {
      found = true;
      EndSession(e, hooks);
    }
    KeyMessage key;
    if (p.events.PollKeyboard(key)) {
      found = true;
      if (key.message == WM_KEYDOWN) {
        DecodeKey(e, dsp, hooks, key.lParam);
      }
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
