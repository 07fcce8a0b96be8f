#include "cli/audio_file.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

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

// A French reason for the common errno values.
std::string Reason(int err) {
  switch (err) {
    case ENOENT:
      return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM:
      return "accès refusé";
    case EISDIR:
      return "c'est un dossier";
    case ENOSPC:
      return "disque plein";
    case EROFS:
      return "système de fichiers en lecture seule";
    case ENOTDIR:
      return "un élément du chemin n'est pas un dossier";
    default:
      return std::strerror(err);
  }
}

FileError IoError(std::string text) { return {kExitIo, "velunda-filtre : " + std::move(text)}; }

// Raw unsigned 8-bit mono: the bytes are the samples.
class RawReader final : public AudioReader {
 public:
  RawReader(std::FILE* file, std::string path, std::optional<int64_t> length)
      : file_(file), path_(std::move(path)), length_(length) {}
  ~RawReader() override { std::fclose(file_); }

  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    got = std::fread(samples, 1, count, file_);
    if (got < count && std::ferror(file_)) {
      error = IoError("erreur de lecture de " + path_ + " : " + Reason(errno));
      return false;
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

// Anything libsndfile reads, mixed down to mono and brought to the 8-bit scale.
class SndfileReader final : public AudioReader {
 public:
  SndfileReader(SNDFILE* file, const SF_INFO& info, std::string path)
      : file_(file), channels_(info.channels), frames_(info.frames), path_(std::move(path)) {}
  ~SndfileReader() override { sf_close(file_); }

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    buffer_.resize(count * static_cast<size_t>(channels_));
    const sf_count_t frames =
        sf_readf_double(file_, buffer_.data(), static_cast<sf_count_t>(count));
    if (frames < 0 || (static_cast<size_t>(frames) < count && sf_error(file_) != SF_ERR_NO_ERROR)) {
      error = IoError("erreur de lecture de " + path_ + " : " + sf_strerror(file_));
      return false;
    }
    got = static_cast<size_t>(frames);
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
  SNDFILE* file_;
  int channels_;
  int64_t frames_;
  std::string path_;
  std::vector<double> buffer_;
};

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

// The libsndfile container for an output extension, able to hold mono samples of `subtype`.
std::optional<int> OutputFormat(const std::string& ext, int32_t rate, int subtype) {
  if (ext == "wav") {
    return SF_FORMAT_WAV | subtype;
  }
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info));
    if (info.extension == nullptr || ext != info.extension) {
      continue;
    }
    SF_INFO candidate{};
    candidate.samplerate = rate;
    candidate.channels = 1;
    candidate.format = info.format | subtype;
    if (sf_format_check(&candidate)) {
      return candidate.format;
    }
  }
  return std::nullopt;
}

// The temporary file beside the output; removed unless committed.
class AudioWriterBase : public AudioWriter {
 public:
  AudioWriterBase(std::string path, std::string temporary)
      : path_(std::move(path)), temporary_(std::move(temporary)) {}
  ~AudioWriterBase() override {
    if (!committed_) {
      ::unlink(temporary_.c_str());
    }
  }
  const std::string& TemporaryPath() const override { return temporary_; }

 protected:
  bool Rename(FileError& error) {
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
      error = IoError("impossible d'écrire " + path_ + " : " + Reason(errno));
      return false;
    }
    committed_ = true;
    return true;
  }
  FileError WriteError(int err) const {
    return IoError("erreur d'écriture de " + path_ + " : " + Reason(err));
  }

 private:
  std::string path_;
  std::string temporary_;
  bool committed_ = false;
};

class RawWriter final : public AudioWriterBase {
 public:
  RawWriter(std::string path, std::string temporary, int fd)
      : AudioWriterBase(std::move(path), std::move(temporary)), fd_(fd) {}
  ~RawWriter() override {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    while (count > 0) {
      const ssize_t n = ::write(fd_, samples, count);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        error = WriteError(n < 0 ? errno : ENOSPC);
        return false;
      }
      samples += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    bytes_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      bytes_[i] = ToU8Scale(values[i]);
    }
    return Write(bytes_.data(), count, error);
  }
  bool Commit(FileError& error) override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      error = WriteError(errno);
      return false;
    }
    return Rename(error);
  }

 private:
  int fd_;
  std::vector<uint8_t> bytes_;
};

class SndfileWriter final : public AudioWriterBase {
 public:
  SndfileWriter(std::string path, std::string temporary, SNDFILE* file)
      : AudioWriterBase(std::move(path), std::move(temporary)), file_(file) {}
  ~SndfileWriter() override {
    if (file_ != nullptr) {
      sf_close(file_);
    }
  }
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    // Through 16 bits: libsndfile maps (u - 128) << 8 back to the byte u exactly.
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = static_cast<short>((samples[i] - 128) * 256);
    }
    return WriteShorts(count, error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = ToPcm16(values[i]);
    }
    return WriteShorts(count, error);
  }
  bool WriteShorts(size_t count, FileError& error) {
    const sf_count_t n = sf_write_short(file_, buffer_.data(), static_cast<sf_count_t>(count));
    if (n != static_cast<sf_count_t>(count)) {
      error = IoError("erreur d'écriture : " + std::string(sf_strerror(file_)));
      return false;
    }
    return true;
  }
  bool Commit(FileError& error) override {
    sf_write_sync(file_);
    const int err = sf_error(file_);
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0 || err != SF_ERR_NO_ERROR) {
      error = IoError("erreur d'écriture : " + std::string(sf_error_number(err)));
      return false;
    }
    return Rename(error);
  }

 private:
  SNDFILE* file_;
  std::vector<short> buffer_;
};

// Creates a new file beside `path`, named after it; returns its descriptor or -1.
int CreateTemporary(const std::string& path, std::string& temporary) {
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = dir + "." + base + ".velunda-" + std::to_string(::getpid()) + "-" +
                std::to_string(attempt) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

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
             "velunda-filtre : " + path + " est échantillonné à " + std::to_string(fileRate) +
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
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error =
        IoError("format de fichier son non reconnu : " + path + " (" + sf_strerror(nullptr) + ")");
    return nullptr;
  }
  rate = info.samplerate;
  return std::make_unique<SndfileReader>(file, info, path);
}

std::unique_ptr<AudioWriter> AudioWriter::Open(const std::string& path, int32_t rate,
                                               FileError& error, OutputWidth width) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = IoError("impossible d'écrire " + path + " : " + Reason(EISDIR));
    return nullptr;
  }
  const bool raw = IsRawU8Name(path);
  std::optional<int> format;
  if (!raw) {
    const bool pcm16 = width == OutputWidth::Pcm16;
    format = OutputFormat(Extension(path), rate, pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8);
    if (!format) {
      error = {kExitUsage, "velunda-filtre : le format de sortie de " + path +
                               (pcm16 ? " ne convient pas (il faut .wav, .flac, .u8 ou un format "
                                        "qui accepte le 16 bits)"
                                      : " ne convient pas (il faut .wav, .u8 ou un format qui "
                                        "accepte le 8 bits non signé)")};
      return nullptr;
    }
  }
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) {
    error = IoError("impossible d'écrire " + path + " : " + Reason(errno));
    return nullptr;
  }
  if (raw) {
    return std::make_unique<RawWriter>(path, temporary, fd);
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = *format;
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, 1);
  if (file == nullptr) {
    // libsndfile has closed the descriptor itself.
    ::unlink(temporary.c_str());
    error = IoError("impossible d'écrire " + path + " : " + sf_strerror(nullptr));
    return nullptr;
  }
  return std::make_unique<SndfileWriter>(path, temporary, file);
}

}  // namespace velunda
