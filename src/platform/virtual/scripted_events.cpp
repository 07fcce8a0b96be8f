#include "platform/virtual/scripted_events.hpp"

#include <algorithm>

namespace velunda {

ScriptedEventSource::ScriptedEventSource(ManualClock& clock, SoundCard& card,
                                         std::vector<ScriptedEvent> script, uint32_t stepMs,
                                         uint32_t limitMs)
    : clock_(clock),
      card_(card),
      script_(std::move(script)),
      stepMs_(stepMs),
      limitMs_(clock.NowMs() + limitMs) {
  std::stable_sort(script_.begin(), script_.end(),
                   [](const ScriptedEvent& a, const ScriptedEvent& b) { return a.atMs < b.atMs; });
}

void ScriptedEventSource::PostDue() {
  while (next_ < script_.size() && script_[next_].atMs <= clock_.NowMs()) {
    const ScriptedEvent& e = script_[next_++];
    if (e.message >= WM_MOUSEFIRST && e.message <= WM_MOUSELAST) {
      PostMouse(e.message);
    } else {
      PostKey(e.message, e.lParam);
    }
  }
}

void ScriptedEventSource::WaitBriefly(uint32_t /*maxMs*/) {
  ++waits_;
  clock_.Advance(stepMs_);
  card_.WaitForActivity(0);
  PostDue();
  if (clock_.NowMs() > limitMs_) {
    timedOut_ = true;
    PostMouse(WM_LBUTTONDOWN);
  }
}

}  // namespace velunda
