#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio_io/wav.hpp"

namespace velunda {

// Exit statuses of velunda-filtre.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIo = 1;
inline constexpr int kExitUsage = 2;

// The most channels a recording may have: libsndfile's own limit for most formats, and what
// the mix-down to mono reads in a block (1024 channels of 64 bits: 8 kB a frame).
inline constexpr int kMaxChannels = 1024;

// A failure to report: one French line and the exit status it leads to.
struct FileError {
  int exitStatus = kExitOk;
  std::string message;
};

// A French reason for an errno, as the messages naming a file end.
std::string FileErrorReason(int err);

// Whether a file name designates raw unsigned 8-bit mono (".u8", any case).
bool IsRawU8Name(const std::string& path);

// Conversion of one (mixed-down) sample on libsndfile's -1..+1 scale to the 8-bit scale:
// the nearest integer to 128 + 128 x, ties to even, clamped to 0..255 (NaN gives 128).
// Unsigned 8-bit data ((u - 128) / 128 on that scale) comes back unchanged.
uint8_t ToU8Scale(double x);

// The same value as signed 16-bit: the nearest integer to 32768 x, ties to even, clamped (NaN
// gives 0). An 8-bit sample u comes out as (u - 128) * 256.
int16_t ToPcm16(double x);

// An unsigned 8-bit sample on the -1..+1 scale: (u - 128) / 128.
inline double FromU8(uint8_t u) { return (u - 128) / 128.0; }

// Reads a recording as unsigned 8-bit mono samples, block by block.
class AudioReader {
 public:
  virtual ~AudioReader() = default;
  // Opens `path`: raw 8-bit when the name ends in .u8 (taken to be at `rate`), else through
  // libsndfile, refusing a file whose rate is not `rate`. Returns nullptr and fills `error`.
  static std::unique_ptr<AudioReader> Open(const std::string& path, int32_t rate, FileError& error);
  // The same at the file's own rate, given back in `rate` (a .u8 file keeps the `rate` given).
  static std::unique_ptr<AudioReader> OpenAtFileRate(const std::string& path, int32_t& rate,
                                                     FileError& error);
  // Fills up to `count` samples; fewer only at the end of the file. Returns false on a read
  // error (then `error` is filled). By default, ReadValues brought to the 8-bit scale.
  virtual bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error);
  // The same as mono values on the -1..+1 scale (channels averaged).
  virtual bool ReadValues(double* values, size_t count, size_t& got, FileError& error) = 0;
  // Samples in the file, when known.
  virtual std::optional<int64_t> Length() const = 0;
  // Once read to its end: a notice when the file held fewer samples than its header
  // announced (a recording cut short), else empty.
  virtual std::string ShortFileNotice() const { return ""; }

 private:
  std::vector<double> values_;
};

// What an output holds: unsigned 8-bit (the filter's own samples) or 16-bit PCM.
// Sample type of a raw stream (--brut): unsigned 8-bit, signed 16-bit or 32-bit float, mono,
// in the machine's byte order.
enum class RawSample { None, U8, S16, F32 };

enum class OutputWidth { U8, Pcm16 };

// Said once on stderr when a WAV stream's data passes kWavDataLimit; `name` is the output
// ("la sortie standard", a FIFO's name).
std::string WavStreamTooLongNotice(const std::string& name);

// Writes mono samples through a SafeFile: the output gets its name only at Commit(), and a
// failed or interrupted run leaves neither a partial output nor a stray file.
class AudioWriter {
 public:
  virtual ~AudioWriter() = default;
  // Whether `path` can take the output: not a directory, and its extension gives a container
  // that holds mono samples of `width` at `rate` (libsndfile is asked to write one into
  // nothing); else the error. Makes no file: checked before any work.
  static bool CheckFormat(const std::string& path, int32_t rate, OutputWidth width,
                          FileError& error);
  // Raw bytes for .u8, WAV PCM_U8 for .wav, otherwise the container libsndfile associates with
  // the extension when it can hold unsigned 8-bit samples. Returns nullptr and fills `error`.
  // With OutputWidth::Pcm16 the container holds 16-bit PCM instead (a .u8 file stays 8-bit).
  // A .wav whose data (`length` samples, when known) may pass `wavLimit` bytes is written as
  // RF64; with no length known, as RF64 that libsndfile turns back into WAV if it stays small.
  // An output that cannot seek (a FIFO, a terminal) gets a WAV stream, sizes unknown.
  static std::unique_ptr<AudioWriter> Open(const std::string& path, int32_t rate, FileError& error,
                                           OutputWidth width = OutputWidth::U8,
                                           std::optional<int64_t> length = std::nullopt,
                                           uint64_t wavLimit = kWavDataLimit);
  virtual bool Write(const uint8_t* samples, size_t count, FileError& error) = 0;
  // Mono values on the -1..+1 scale, brought to the output's width (ToU8Scale, ToPcm16).
  virtual bool WriteValues(const double* values, size_t count, FileError& error) = 0;
  // Completes the file and gives it its name.
  virtual bool Commit(FileError& error) = 0;
};

}  // namespace velunda
