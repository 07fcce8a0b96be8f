#include "platform/alsa/capture_pacer.hpp"

#include <algorithm>

namespace velunda {

void CapturePacer::Reset() {
  started_ = false;
  leadLeft_ = 0;
  credit_ = 0;
  gaps_ = 0;
}

void CapturePacer::Start(size_t queued) {
  started_ = true;
  leadLeft_ = lead_;
  credit_ = queued;
}

void CapturePacer::Restart() {
  if (started_) {
    gaps_ += lead_ - leadLeft_;
    leadLeft_ = lead_;
  }
}

void CapturePacer::Grant(size_t frames) {
  if (started_) {
    credit_ += frames;
  }
}

PacedRound CapturePacer::Plan(size_t room, size_t fill, size_t queued) const {
  PacedRound r;
  if (!started_) {
    return r;
  }
  r.leadSilence = std::min(leadLeft_, room);
  room -= r.leadSilence;
  r.fromQueue = std::min({credit_, room, queued});
  room -= r.fromQueue;
  const size_t after = fill + r.leadSilence + r.fromQueue;
  if (after < floor_) {
    r.gapSilence = std::min(floor_ - after, room);
  }
  return r;
}

size_t CapturePacer::Wrote(const PacedRound& round, size_t wrote) {
  const size_t lead = std::min(wrote, round.leadSilence);
  leadLeft_ -= lead;
  wrote -= lead;
  const size_t taken = std::min(wrote, round.fromQueue);
  credit_ -= taken;
  gaps_ += std::min(wrote - taken, round.gapSilence);
  return taken;
}

}  // namespace velunda
