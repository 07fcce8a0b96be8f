#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_io/audio_file.hpp"
#include "platform/virtual/virtual_card_io.hpp"

namespace velunda {

// The header of a loudspeaker file of `dataBytes` samples at `rate`: WAV (44 bytes) or RF64
// (80 bytes, its sizes in a ds64 chunk).
std::vector<uint8_t> SpeakerHeader(uint64_t dataBytes, int32_t rate, bool rf64);

// The file for the n-th rate (n >= 2) of a recording named `path`: "SORTIE.wav" -> "SORTIE-2.wav".
std::string NumberedName(const std::string& path, int n);

// The virtual card's line input from a recording, read as offline mode reads it (at its file's
// rate, given back in `rate`; a .u8 file at the `rate` given). Read through once at the start,
// so that a file that cannot be read is refused at once; then played in fixed chunks, from its
// start again at its end. A FIFO or pipe cannot be read twice: it is kept in memory. Null with
// a French message when it cannot be read.
std::shared_ptr<LoopingSource> OpenLineRecording(const std::string& path, int32_t& rate,
                                                 std::string& error);

class SpeakerFile;

// The loudspeaker recorded to `path`, one file per rate: the first rate played goes to `path`,
// each other rate to NumberedName(path, 2, 3...) in the order the rates are first played, and
// a later output at a rate continues that rate's file. Beside a FIFO or device no file is
// made: it takes the first rate alone.
class SpeakerFiles final : public SpeakerSink {
 public:
  explicit SpeakerFiles(std::string path, uint64_t wavLimit = kWavDataLimit);
  ~SpeakerFiles() override;
  void Open(int32_t rate) override;
  void Play(const uint8_t* samples, size_t count) override;
  int Close() override;
  // The file whose write failed at the last close.
  const std::string& FailedPath() const { return failed_; }

 private:
  SpeakerFile* FileFor(int32_t rate);

  std::string path_;
  uint64_t wavLimit_;
  std::vector<std::unique_ptr<SpeakerFile>> files_;
  SpeakerFile* current_ = nullptr;
  int32_t rate_ = 0;
  bool opened_ = false;
  std::string failed_;
};

}  // namespace velunda
