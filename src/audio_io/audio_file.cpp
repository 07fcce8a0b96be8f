#include "audio_io/audio_file.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "audio_io/stream_io.hpp"
#include "audio_io/wav.hpp"
#include "platform/errno_text.hpp"
#include "platform/program_name.hpp"
#include "platform/safe_file.hpp"

namespace velunda {
namespace {

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return "";
  }
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return ext;
}

std::string Reason(int err) { return ErrnoText(err); }

FileError IoError(std::string text) { return {kExitIo, ProgramLine(text)}; }

// The decoders behind libsndfile (mpg123) print their own English warnings on stderr: while
// libsndfile reads, stderr goes to /dev/null. Our messages are written between its calls.
class QuietStderr {
 public:
  QuietStderr() {
    static const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    saved_ = null >= 0 ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    if (saved_ >= 0) {
      ::dup2(null, STDERR_FILENO);
    }
  }
  ~QuietStderr() {
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

// A French reason for a libsndfile error code (sf_error), never its English text; `err` is the
// errno of a system error when known. Its other, internal codes say the file is damaged.
std::string SndfileReason(int code, int err) {
  switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
      return "format de fichier son non reconnu";
    case SF_ERR_SYSTEM:
      return Reason(err != 0 ? err : EIO);
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "codage de fichier son non pris en charge";
    default:
      return "fichier son abîmé ou illisible";
  }
}

// Raw unsigned 8-bit mono: the bytes are the samples.
class RawReader final : public AudioReader {
 public:
  RawReader(std::FILE* file, std::string path, std::optional<int64_t> length)
      : file_(file), path_(std::move(path)), length_(length) {}
  ~RawReader() override { std::fclose(file_); }

  // A FIFO's read interrupted by a stop signal ends the input there.
  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    got = 0;
    while (got < count) {
      got += std::fread(samples + got, 1, count - got, file_);
      if (got == count || !std::ferror(file_)) {
        break;
      }
      if (errno != EINTR) {
        error = IoError("erreur de lecture de " + path_ + " : " + Reason(errno));
        return false;
      }
      std::clearerr(file_);
      if (StopStreamOnSignals::StopSignal() != 0) {
        break;
      }
    }
    return true;
  }
  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    bytes_.resize(count);
    if (!Read(bytes_.data(), count, got, error)) {
      return false;
    }
    for (size_t i = 0; i < got; ++i) {
      values[i] = FromU8(bytes_[i]);
    }
    return true;
  }
  std::optional<int64_t> Length() const override { return length_; }

 private:
  std::vector<uint8_t> bytes_;
  std::FILE* file_;
  std::string path_;
  std::optional<int64_t> length_;
};

// The frames a RIFF WAV's header announces (its data chunk's length over the frame size), read
// from the file itself: libsndfile gives only what the file really holds. None when unknown,
// and for a FIFO, whose bytes a second reader would take from libsndfile.
std::optional<int64_t> AnnouncedWavFrames(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::nullopt;
  }
  if (struct stat st{}; ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(file);
    return std::nullopt;
  }
  std::optional<int64_t> frames;
  unsigned char head[12];
  uint32_t frameSize = 0;
  if (std::fread(head, 1, 12, file) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
      std::memcmp(head + 8, "WAVE", 4) == 0) {
    unsigned char chunk[16];
    while (std::fread(chunk, 1, 8, file) == 8) {
      const uint32_t size = Le32(chunk + 4);
      if (std::memcmp(chunk, "data", 4) == 0) {
        // Streaming writers' "unknown": all ones, or sox's 0x7FFFF000 (ours too).
        if (frameSize != 0 && size != 0xFFFFFFFFu && size != kWavUnknownSize) {
          frames = size / frameSize;
        }
        break;
      }
      long skip = static_cast<long>(size) + (size & 1);
      if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
        if (std::fread(chunk, 1, 16, file) != 16) {
          break;
        }
        frameSize = chunk[12] | (chunk[13] << 8);  // the block align
        skip -= 16;
      }
      if (std::fseek(file, skip, SEEK_CUR) != 0) {
        break;
      }
    }
  }
  std::fclose(file);
  return frames;
}

// Anything libsndfile reads, mixed down to mono and brought to the 8-bit scale.
class SndfileReader final : public AudioReader {
 public:
  SndfileReader(SNDFILE* file, const SF_INFO& info, std::string path)
      : file_(file),
        channels_(info.channels),
        u8Mono_(info.channels == 1 && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8),
        frames_(info.frames),
        path_(std::move(path)) {
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
      announced_ = AnnouncedWavFrames(path_);
    }
  }
  ~SndfileReader() override {
    QuietStderr quiet;
    sf_close(file_);
  }

  std::string ShortFileNotice() const override {
    if (!ended_ || !announced_ || *announced_ <= read_) {
      return "";
    }
    return ProgramName() + " : " + path_ + " annonce " + std::to_string(*announced_) +
           " échantillons mais n'en contient que " + std::to_string(read_) +
           " ; lu jusqu'à sa fin réelle";
  }

  // Unsigned 8-bit mono: the file's bytes are the samples, taken as they are.
  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    if (!u8Mono_) {
      return AudioReader::Read(samples, count, got, error);
    }
    sf_count_t frames = 0;
    {
      QuietStderr quiet;
      frames = sf_read_raw(file_, samples, static_cast<sf_count_t>(count));
    }
    return Took(frames, count, got, error);
  }

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    buffer_.resize(count * static_cast<size_t>(channels_));
    sf_count_t frames = 0;
    {
      QuietStderr quiet;
      frames = sf_readf_double(file_, buffer_.data(), static_cast<sf_count_t>(count));
    }
    if (!Took(frames, count, got, error)) {
      return false;
    }
    for (size_t i = 0; i < got; ++i) {
      double sum = 0.0;
      for (int c = 0; c < channels_; ++c) {
        sum += buffer_[i * static_cast<size_t>(channels_) + static_cast<size_t>(c)];
      }
      values[i] = sum / channels_;
    }
    return true;
  }
  std::optional<int64_t> Length() const override { return frames_; }

 private:
  // Counts the `frames` one read of `count` gave; false, with `error`, when it failed.
  bool Took(sf_count_t frames, size_t count, size_t& got, FileError& error) {
    if (frames < 0 || (static_cast<size_t>(frames) < count && sf_error(file_) != SF_ERR_NO_ERROR)) {
      error = IoError("erreur de lecture de " + path_ + " : " + SndfileReason(sf_error(file_), 0));
      return false;
    }
    got = static_cast<size_t>(frames);
    read_ += frames;
    ended_ = got < count;
    return true;
  }

  SNDFILE* file_;
  int channels_;
  bool u8Mono_;
  int64_t frames_;
  std::string path_;
  std::vector<double> buffer_;
  std::optional<int64_t> announced_;
  int64_t read_ = 0;
  bool ended_ = false;
};

// Why libsndfile could not open `path`, in French.
std::string UnreadableSoundFile(const std::string& path, int code, int err) {
  if (code == SF_ERR_SYSTEM) {
    return "impossible de lire " + path + " : " + SndfileReason(code, err);
  }
  return SndfileReason(code, err) + " : " + path;
}

std::string TooManyChannels(const std::string& path) {
  return "trop de voies dans " + path + " (" + std::to_string(kMaxChannels) + " au plus)";
}

// libsndfile's code for a header with more channels than it takes, which its public header
// does not name: learnt once, from a WAV header of kMaxChannels + 1 channels in memory.
int TooManyChannelsCode() {
  static const int code = [] {
    const int fd = ::memfd_create("velunda-channels", MFD_CLOEXEC);
    if (fd < 0) {
      return -1;
    }
    constexpr uint32_t kChannels = kMaxChannels + 1;
    const std::vector<uint8_t> wav = PcmWavHeader(8000, 8, kChannels, 0);
    SF_INFO info{};
    SNDFILE* probe = nullptr;
    if (::write(fd, wav.data(), wav.size()) == static_cast<ssize_t>(wav.size()) &&
        ::lseek(fd, 0, SEEK_SET) == 0) {
      probe = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    }
    const int refused = probe == nullptr ? sf_error(nullptr) : -1;
    if (probe != nullptr) {
      sf_close(probe);  // a libsndfile that takes more: the count is checked after opening
    }
    ::close(fd);
    // One of the public codes would say nothing about channels.
    return refused > SF_ERR_UNSUPPORTED_ENCODING ? refused : -1;
  }();
  return code;
}

// Explains why `path` cannot be opened for reading, or returns false when nothing is wrong.
bool InputProblem(const std::string& path, FileError& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
    return true;
  }
  if (S_ISDIR(st.st_mode)) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(EISDIR));
    return true;
  }
  if (::access(path.c_str(), R_OK) != 0) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
    return true;
  }
  return false;
}

// A sink that keeps nothing, for trial runs of an output format. As an output that cannot seek
// (`seekable` false), it notes any seek beyond asking where it is.
struct TrialIo {
  sf_count_t at = 0;
  sf_count_t end = 0;
  bool seekable = true;
  bool sought = false;
};

sf_count_t TrialLength(void* user) { return static_cast<TrialIo*>(user)->end; }
sf_count_t TrialSeek(sf_count_t offset, int whence, void* user) {
  auto* io = static_cast<TrialIo*>(user);
  if (!io->seekable && !(whence == SEEK_CUR && offset == 0)) {
    io->sought = true;
    errno = ESPIPE;
    return -1;
  }
  io->at = offset + (whence == SEEK_CUR ? io->at : whence == SEEK_END ? io->end : 0);
  return io->at;
}
sf_count_t TrialRead(void*, sf_count_t, void*) { return 0; }
sf_count_t TrialWrite(const void*, sf_count_t count, void* user) {
  auto* io = static_cast<TrialIo*>(user);
  io->at += count;
  io->end = std::max(io->end, io->at);
  return count;
}
sf_count_t TrialTell(void* user) { return static_cast<TrialIo*>(user)->at; }

// Whether libsndfile writes `format` at `rate`, mono: sf_format_check does not know every
// limit (FLAC's rates), so a few samples are written into nothing. Where the output cannot
// seek, without seeking.
bool FormatWorks(int format, int32_t rate, bool seekable) {
  static SF_VIRTUAL_IO calls{TrialLength, TrialSeek, TrialRead, TrialWrite, TrialTell};
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = format;
  if (!sf_format_check(&info)) {
    return false;
  }
  TrialIo io;
  io.seekable = seekable;
  SNDFILE* file = sf_open_virtual(&calls, SFM_WRITE, &info, &io);
  if (file == nullptr) {
    return false;
  }
  const short silence[64] = {};
  const bool wrote = sf_write_short(file, silence, 64) == 64;
  return sf_close(file) == 0 && wrote && !io.sought;
}

// The compressed formats known by their extension (libsndfile's own are .oga and .m1a), each
// with its one encoding: 16-bit samples go in, the encoder keeps what it can.
struct Compressed {
  const char* ext;
  int format;
  const char* name;
};
constexpr Compressed kCompressed[] = {
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Ogg/Vorbis"},
    {"oga", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Ogg/Vorbis"},
    {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, "Opus"},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "MP3"},
};

// The libsndfile container for an output extension, able to hold mono samples of `subtype`.
// A compressed format takes 16-bit samples only.
std::optional<int> OutputFormat(const std::string& ext, int32_t rate, int subtype) {
  for (const Compressed& c : kCompressed) {
    if (ext == c.ext) {
      const bool works = subtype == SF_FORMAT_PCM_16 && FormatWorks(c.format, rate, true);
      return works ? std::optional(c.format) : std::nullopt;
    }
  }
  if (ext == "wav") {
    return FormatWorks(SF_FORMAT_WAV | subtype, rate, true) ? std::optional(SF_FORMAT_WAV | subtype)
                                                            : std::nullopt;
  }
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info));
    if (info.extension != nullptr && ext == info.extension &&
        FormatWorks(info.format | subtype, rate, true)) {
      return info.format | subtype;
    }
  }
  return std::nullopt;
}

// A format's name for messages: its own for the compressed ones, else the extension in capitals.
std::string FormatName(const std::string& ext) {
  for (const Compressed& c : kCompressed) {
    if (ext == c.ext) {
      return c.name;
    }
  }
  std::string name = ext;
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return name;
}

// The libsndfile format of an output, 0 for raw .u8; false with a usage error when the
// extension gives no container that holds these samples at this rate.
bool ChooseFormat(const std::string& path, int32_t rate, OutputWidth width, int& format,
                  FileError& error) {
  format = 0;
  if (IsRawU8Name(path)) {
    return true;
  }
  const bool pcm16 = width == OutputWidth::Pcm16;
  const int subtype = pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8;
  const auto chosen = OutputFormat(Extension(path), rate, subtype);
  if (!chosen && OutputFormat(Extension(path), 8000, subtype)) {
    error = {kExitUsage, ProgramName() + " : le format de sortie de " + path + " ne permet pas " +
                             std::to_string(rate) + " Hz (choisissez .wav ou une autre fréquence)"};
    return false;
  }
  if (!chosen && !pcm16 &&
      (OutputFormat(Extension(path), rate, SF_FORMAT_PCM_16) ||
       OutputFormat(Extension(path), 8000, SF_FORMAT_PCM_16))) {
    error = {kExitUsage, ProgramName() + " : le format de sortie de " + path +
                             " ne convient pas : " + FormatName(Extension(path)) +
                             " ne prend pas d'échantillons 8 bits non signés ; ajouter "
                             "--fe-sortie HZ pour écrire du 16 bits"};
    return false;
  }
  if (!chosen) {
    error = {kExitUsage, ProgramName() + " : le format de sortie de " + path +
                             (pcm16 ? " ne convient pas (il faut .wav, .flac, .u8 ou un format "
                                      "qui accepte le 16 bits)"
                                    : " ne convient pas (il faut .wav, .u8 ou un format qui "
                                      "accepte le 8 bits non signé)")};
    return false;
  }
  format = *chosen;
  return true;
}

// A directory named as the output, with its error.
bool IsDirectory(const std::string& path, FileError& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = IoError("impossible d'écrire " + path + " : " + Reason(EISDIR));
    return true;
  }
  return false;
}

// How a .wav output is written: plain WAV (44-byte header) for one known to fit its 32-bit
// sizes with room to spare (a compressed input's length is an estimate); RF64 for one known not
// to; RF64 that libsndfile turns back into WAV when it ends up fitting, otherwise.
enum class WavKind { Plain, Rf64, Rf64OrWav };

WavKind ChooseWavKind(std::optional<int64_t> length, uint64_t sampleBytes, uint64_t limit) {
  if (!length) {
    return WavKind::Rf64OrWav;
  }
  const uint64_t bytes = static_cast<uint64_t>(std::max<int64_t>(*length, 0)) * sampleBytes;
  if (bytes + bytes / 8 <= limit) {
    return WavKind::Plain;
  }
  return bytes > limit ? WavKind::Rf64 : WavKind::Rf64OrWav;
}

// Explains a failure of the output's safe file.
FileError OutputError(const std::string& path, const SafeFile& file, int err) {
  if (file.LinkRefused()) {
    return IoError("impossible d'écrire " + path +
                   " : lien symbolique non suivi, car lui ou ce qu'il désigne appartient à un "
                   "autre utilisateur");
  }
  if (file.Step() == SafeFileStep::Open || file.Step() == SafeFileStep::Rename) {
    return IoError("impossible d'écrire " + path + " : " + Reason(err));
  }
  return IoError("erreur d'écriture de " + path + " : " + Reason(err));
}

// Samples written as they are, after a header when there is one: raw .u8 bytes, or a WAV
// stream (sizes unknown) on an output that cannot seek.
class PlainWriter final : public AudioWriter {
 public:
  PlainWriter(std::string path, std::unique_ptr<SafeFile> file, std::vector<uint8_t> header,
              OutputWidth width, uint64_t wavLimit)
      : path_(std::move(path)),
        file_(std::move(file)),
        header_(std::move(header)),
        pcm16_(width == OutputWidth::Pcm16),
        wavLimit_(wavLimit) {}
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    if (!pcm16_) {
      return Send(samples, count, error);
    }
    bytes_.resize(2 * count);
    for (size_t i = 0; i < count; ++i) {
      Put16(i, static_cast<int16_t>((samples[i] - 128) * 256));
    }
    return Send(bytes_.data(), bytes_.size(), error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    bytes_.resize(pcm16_ ? 2 * count : count);
    for (size_t i = 0; i < count; ++i) {
      if (pcm16_) {
        Put16(i, ToPcm16(values[i]));
      } else {
        bytes_[i] = ToU8Scale(values[i]);
      }
    }
    return Send(bytes_.data(), bytes_.size(), error);
  }
  bool Commit(FileError& error) override {
    // An empty stream still gets its header.
    if (!Send(nullptr, 0, error)) {
      return false;
    }
    if (const int err = file_->Commit()) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    return true;
  }

 private:
  void Put16(size_t i, int16_t v) {
    bytes_[2 * i] = static_cast<uint8_t>(v);
    bytes_[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  }
  bool Send(const uint8_t* bytes, size_t count, FileError& error) {
    int err = 0;
    if (!header_.empty() && !headerSent_) {
      headerSent_ = true;
      err = file_->Write(header_.data(), header_.size());
    }
    if (err == 0 && count > 0) {
      err = file_->Write(bytes, count);
    }
    if (err != 0) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    data_ += count;
    if (!header_.empty() && !noticed_ && data_ > wavLimit_) {
      noticed_ = true;
      std::cerr << WavStreamTooLongNotice(path_) << '\n';
    }
    return true;
  }

  std::string path_;
  std::unique_ptr<SafeFile> file_;
  std::vector<uint8_t> header_;
  bool pcm16_;
  uint64_t wavLimit_;
  bool headerSent_ = false;
  bool noticed_ = false;
  uint64_t data_ = 0;
  std::vector<uint8_t> bytes_;
};

// libsndfile writes through these calls, so the errno of the failing call is kept.
struct SinkIo {
  int fd = -1;
  int err = 0;
};

sf_count_t SinkLength(void* user) {
  struct stat st {};
  return ::fstat(static_cast<SinkIo*>(user)->fd, &st) == 0 ? st.st_size : -1;
}
sf_count_t SinkSeek(sf_count_t offset, int whence, void* user) {
  auto* io = static_cast<SinkIo*>(user);
  const off_t at = ::lseek(io->fd, offset, whence);
  if (at < 0 && io->err == 0) {
    io->err = errno;
  }
  return at;
}
sf_count_t SinkRead(void* data, sf_count_t count, void* user) {
  const ssize_t n = ::read(static_cast<SinkIo*>(user)->fd, data, static_cast<size_t>(count));
  return n < 0 ? 0 : n;
}
sf_count_t SinkWrite(const void* data, sf_count_t count, void* user) {
  auto* io = static_cast<SinkIo*>(user);
  const auto* bytes = static_cast<const char*>(data);
  sf_count_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(io->fd, bytes + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      if (io->err == 0) {
        io->err = n < 0 ? errno : ENOSPC;
      }
      break;
    }
    done += n;
  }
  return done;
}
sf_count_t SinkTell(void* user) { return ::lseek(static_cast<SinkIo*>(user)->fd, 0, SEEK_CUR); }

class SndfileWriter final : public AudioWriter {
 public:
  SndfileWriter(std::string path, std::unique_ptr<SafeFile> file)
      : path_(std::move(path)), file_(std::move(file)) {
    io_.fd = file_->Fd();
  }
  ~SndfileWriter() override {
    if (sndfile_ != nullptr) {
      sf_close(sndfile_);
    }
  }
  // False with the reason in `error` when libsndfile refuses to start the file. A .wav is
  // written as `wav` says; a plain one refuses data beyond `wavLimit` bytes.
  bool Start(int format, int32_t rate, WavKind wav, uint64_t wavLimit, FileError& error) {
    static SF_VIRTUAL_IO calls{SinkLength, SinkSeek, SinkRead, SinkWrite, SinkTell};
    const bool isWav = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
    if (isWav && wav != WavKind::Plain) {
      format = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    sndfile_ = sf_open_virtual(&calls, SFM_WRITE, &info, &io_);
    if (sndfile_ == nullptr) {
      error = Failure("impossible d'écrire ", sf_error(nullptr));
      return false;
    }
    if (isWav && wav == WavKind::Rf64OrWav) {
      sf_command(sndfile_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    u8_ = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8;
    plainLimit_ = isWav && wav == WavKind::Plain ? wavLimit : 0;
    return true;
  }
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    if (!Fits(count, error)) {
      return false;
    }
    if (u8_) {
      // The samples are the file's bytes.
      return Wrote(sf_write_raw(sndfile_, samples, static_cast<sf_count_t>(count)), count, error);
    }
    // 16 bits: (u - 128) << 8, which libsndfile would map back to the byte u exactly.
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = static_cast<short>((samples[i] - 128) * 256);
    }
    return WriteShorts(count, error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    if (u8_) {
      // Rounded to the nearest byte here: libsndfile would truncate 16-bit values to 8 bits.
      bytes_.resize(count);
      for (size_t i = 0; i < count; ++i) {
        bytes_[i] = ToU8Scale(values[i]);
      }
      return Write(bytes_.data(), count, error);
    }
    if (!Fits(count, error)) {
      return false;
    }
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = ToPcm16(values[i]);
    }
    return WriteShorts(count, error);
  }
  bool WriteShorts(size_t count, FileError& error) {
    return Wrote(sf_write_short(sndfile_, buffer_.data(), static_cast<sf_count_t>(count)), count,
                 error);
  }
  // Whether a write of `count` samples, which gave `written`, went through; else `error`.
  bool Wrote(sf_count_t written, size_t count, FileError& error) {
    if (written != static_cast<sf_count_t>(count) || io_.err != 0) {
      error = Failure("erreur d'écriture de ", sf_error(sndfile_));
      return false;
    }
    return true;
  }
  bool Commit(FileError& error) override {
    SNDFILE* file = sndfile_;
    sndfile_ = nullptr;
    const int closed = sf_close(file);  // writes the header's final lengths
    if (closed != 0 || io_.err != 0) {
      error = Failure("erreur d'écriture de ", closed);
      return false;
    }
    if (const int err = file_->Commit()) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    return true;
  }

 private:
  // A plain WAV takes no more than its header can describe: past that, the run fails rather
  // than leave a header that lies (the input announced far less than it held).
  bool Fits(size_t count, FileError& error) {
    data_ += count * (u8_ ? 1 : 2);
    if (plainLimit_ != 0 && data_ > plainLimit_) {
      error = IoError("erreur d'écriture de " + path_ +
                      " : l'entrée contient bien plus que sa longueur annoncée, au-delà des 4 "
                      "Gio qu'un fichier WAV peut décrire");
      return false;
    }
    return true;
  }
  // The errno of the failing call when there is one; libsndfile's code in French otherwise.
  FileError Failure(const std::string& what, int code) const {
    return IoError(what + path_ + " : " +
                   (io_.err != 0 ? Reason(io_.err)
                                 : "refusé par libsndfile (code " + std::to_string(code) + ")"));
  }

  std::string path_;
  std::unique_ptr<SafeFile> file_;
  SinkIo io_;
  SNDFILE* sndfile_ = nullptr;
  bool u8_ = false;  // unsigned 8-bit samples
  uint64_t plainLimit_ = 0;
  uint64_t data_ = 0;
  std::vector<short> buffer_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::string WavStreamTooLongNotice(const std::string& name) {
  return ProgramName() + " : le flux WAV de " + name +
         " dépasse 4 Gio, plus que les tailles de son en-tête ne peuvent dire : il se lit "
         "jusqu'à sa fin";
}

std::string FileErrorReason(int err) { return Reason(err); }

bool IsRawU8Name(const std::string& path) { return Extension(path) == "u8"; }

int16_t ToPcm16(double x) {
  if (std::isnan(x)) {
    return 0;
  }
  const double v = std::nearbyint(32768.0 * x);
  if (v <= -32768.0) {
    return -32768;
  }
  if (v >= 32767.0) {
    return 32767;
  }
  return static_cast<int16_t>(v);
}

bool AudioReader::Read(uint8_t* samples, size_t count, size_t& got, FileError& error) {
  values_.resize(count);
  if (!ReadValues(values_.data(), count, got, error)) {
    return false;
  }
  for (size_t i = 0; i < got; ++i) {
    samples[i] = ToU8Scale(values_[i]);
  }
  return true;
}

uint8_t ToU8Scale(double x) {
  if (std::isnan(x)) {
    return 128;
  }
  const double v = std::nearbyint(128.0 + 128.0 * x);
  if (v <= 0.0) {
    return 0;
  }
  if (v >= 255.0) {
    return 255;
  }
  return static_cast<uint8_t>(v);
}

std::unique_ptr<AudioReader> AudioReader::Open(const std::string& path, int32_t rate,
                                               FileError& error) {
  int32_t fileRate = rate;
  auto reader = OpenAtFileRate(path, fileRate, error);
  if (reader && fileRate != rate) {
    error = {kExitUsage,
             ProgramName() + " : " + path + " est échantillonné à " + std::to_string(fileRate) +
                 " Hz et le filtre fonctionne à " + std::to_string(rate) + " Hz (choisissez --fe " +
                 std::to_string(fileRate) + " si le filtre le permet ; pas de rééchantillonnage)"};
    return nullptr;
  }
  return reader;
}

std::unique_ptr<AudioReader> AudioReader::OpenAtFileRate(const std::string& path, int32_t& rate,
                                                         FileError& error) {
  if (InputProblem(path, error)) {
    return nullptr;
  }
  if (IsRawU8Name(path)) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
      return nullptr;
    }
    struct stat st {};
    std::optional<int64_t> length;
    if (::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
      length = st.st_size;
    }
    return std::make_unique<RawReader>(file, path, length);
  }
  SF_INFO info{};
  SNDFILE* file = nullptr;
  int err = 0;
  {
    QuietStderr quiet;
    errno = 0;
    file = sf_open(path.c_str(), SFM_READ, &info);
    err = errno;
  }
  if (file == nullptr) {
    const int code = sf_error(nullptr);
    error = IoError(code == TooManyChannelsCode() ? TooManyChannels(path)
                                                  : UnreadableSoundFile(path, code, err));
    return nullptr;
  }
  if (info.channels > kMaxChannels) {
    sf_close(file);
    error = IoError(TooManyChannels(path));
    return nullptr;
  }
  rate = info.samplerate;
  return std::make_unique<SndfileReader>(file, info, path);
}

bool AudioWriter::CheckFormat(const std::string& path, int32_t rate, OutputWidth width,
                              FileError& error) {
  int format = 0;
  return !IsDirectory(path, error) && ChooseFormat(path, rate, width, format, error);
}

std::unique_ptr<AudioWriter> AudioWriter::Open(const std::string& path, int32_t rate,
                                               FileError& error, OutputWidth width,
                                               std::optional<int64_t> length, uint64_t wavLimit) {
  int format = 0;
  if (IsDirectory(path, error) || !ChooseFormat(path, rate, width, format, error)) {
    return nullptr;
  }
  auto file = std::make_unique<SafeFile>();
  if (const int err = file->Open(path)) {
    error = OutputError(path, *file, err);
    return nullptr;
  }
  if (format == 0) {
    return std::make_unique<PlainWriter>(path, std::move(file), std::vector<uint8_t>{},
                                         OutputWidth::U8, wavLimit);
  }
  const bool wav = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
  const bool pcm16 = width == OutputWidth::Pcm16;
  // A FIFO or a terminal: a WAV goes as a stream; another container only if libsndfile writes
  // it without going back.
  if (::lseek(file->Fd(), 0, SEEK_CUR) < 0) {
    if (wav) {
      return std::make_unique<PlainWriter>(
          path, std::move(file), StreamingWavHeader(rate, pcm16 ? 16 : 8), width, wavLimit);
    }
    if (!FormatWorks(format, rate, false)) {
      error = {kExitUsage, ProgramName() + " : " + path +
                               " : ce format de sortie ne s'écrit pas dans un tube ou un "
                               "périphérique (il faut .wav ou .u8)"};
      return nullptr;
    }
  }
  auto writer = std::make_unique<SndfileWriter>(path, std::move(file));
  const WavKind kind = ChooseWavKind(length, pcm16 ? 2 : 1, wavLimit);
  if (!writer->Start(format, rate, kind, wavLimit, error)) {
    return nullptr;
  }
  return writer;
}

}  // namespace velunda
