#pragma once
#include <cstdint>
#include <memory>

#include "audio_io/audio_file.hpp"

namespace velunda {

// Standard input as a recording: raw mono samples of `type` at `rate` (kept), or, with
// RawSample::None, a WAV stream whose header sets `rate`. Read as it arrives; a stop signal
// (see StopStreamOnSignals) ends it like the end of the input, and one that comes before the
// header is whole gives a stream without samples (`rate` untouched). Returns nullptr and fills
// `error` when the WAV header cannot be read, does not hold together or announces more than
// kMaxChannels channels.
std::unique_ptr<AudioReader> OpenInputStream(int fd, RawSample type, int32_t& rate,
                                             FileError& error);

// Standard output as the result: raw mono samples of `type`, or, with RawSample::None, a WAV
// stream of `width` samples at `rate`. Every block is written at once. When the reader has gone
// away (EPIPE), writing fails with an empty message and status 0: the run stops quietly. A WAV
// stream's sizes say "unknown"; they are put right at the end when the output is a file (not
// one appended to) and its data stays within `wavLimit` bytes, past which stderr says once that
// they cannot be.
std::unique_ptr<AudioWriter> OpenOutputStream(int fd, RawSample type, int32_t rate,
                                              OutputWidth width, FileError& error,
                                              uint64_t wavLimit = kWavDataLimit);

// For the life of the object: SIGINT, SIGTERM and SIGHUP end a stream cleanly instead of killing
// the program (StopSignal tells which one came), even one that waits for input, and a closed
// pipe on the output gives EPIPE instead of SIGPIPE.
class StopStreamOnSignals {
 public:
  StopStreamOnSignals();
  ~StopStreamOnSignals();
  StopStreamOnSignals(const StopStreamOnSignals&) = delete;
  StopStreamOnSignals& operator=(const StopStreamOnSignals&) = delete;
  // The signal that asked the stream to stop, 0 if none.
  static int StopSignal();

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace velunda
