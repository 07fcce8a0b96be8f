#pragma once
#include <cstddef>
#include <cstdint>

namespace velunda {

// What one playback round writes into ALSA, in this order: silence, frames of the queue,
// silence.
struct PacedRound {
  size_t leadSilence = 0;
  size_t fromQueue = 0;
  size_t gapSilence = 0;
};

// Paces a playback that follows the capture of the same card, for short blocks. The program
// makes each output block from a captured one before it hands that capture buffer back, so a
// block of the playback's queue is ready exactly when a capture buffer comes back: the playback
// reads what was queued before the capture's first frames, then one more block for each capture
// buffer handed back, and writes it at once, behind a lead of silence taken at the start. The
// delay heard is then the program's own (two blocks) plus that lead, whatever ALSA's ring holds.
// Should ALSA's fill come down to the floor (the program or the capture stalled), silence fills
// in: the sound comes that much later from then on, rather than a block not yet made.
// No device here: tested on its own.
class CapturePacer {
 public:
  CapturePacer(uint32_t leadFrames, uint32_t floorFrames)
      : lead_(leadFrames), floor_(floorFrames) {}

  void Reset();
  uint32_t Lead() const { return lead_; }
  bool Started() const { return started_; }
  // The capture's first frames came; the playback may read the `queued` frames it holds.
  void Start(size_t queued);
  // ALSA ran dry and starts again: the whole lead of silence first, as at the start. The delay
  // grows by the lead (counted with the gaps) on top of the time ALSA stood empty.
  void Restart();
  // A capture buffer of `frames` came back: as many more frames of the queue are ready.
  void Grant(size_t frames);
  // The round for ALSA's `room` and `fill` with `queued` frames waiting in the queue.
  PacedRound Plan(size_t room, size_t fill, size_t queued) const;
  // ALSA accepted `wrote` frames of `round`, taken in its order; returns those of the queue.
  size_t Wrote(const PacedRound& round, size_t wrote);
  // Frames of the queue made and not yet written.
  size_t Credit() const { return credit_; }
  // Silence written after the start because the queue was not ready: the delay added since.
  uint64_t GapFrames() const { return gaps_; }

 private:
  uint32_t lead_;
  uint32_t floor_;
  bool started_ = false;
  size_t leadLeft_ = 0;
  size_t credit_ = 0;  // frames of the queue the playback may still read
  uint64_t gaps_ = 0;
};

}  // namespace velunda
