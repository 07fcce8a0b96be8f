#include "audio_io/virtual_card_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "audio_io/audio_file.hpp"
#include "platform/safe_file.hpp"

namespace velunda {
namespace {

constexpr size_t kChunk = 4096;

// Writes all of `data` at `offset`, or where the file stands for a negative one. 0 or an errno.
int WriteAll(int fd, const uint8_t* data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = offset < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, offset);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? errno : ENOSPC;
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset = offset < 0 ? offset : offset + n;
  }
  return 0;
}

int DupFd(int fd, int& copy) {
  copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  return copy < 0 ? errno : 0;
}

// Reads `reader` to its end, counting its samples, and keeping them in `kept` when given.
bool ReadThrough(AudioReader& reader, uint64_t& length, std::vector<uint8_t>* kept,
                 std::string& error) {
  std::array<uint8_t, kChunk> chunk;
  FileError fileError;
  size_t got = 0;
  do {
    if (!reader.Read(chunk.data(), chunk.size(), got, fileError)) {
      error = fileError.message;
      return false;
    }
    length += got;
    if (kept != nullptr) {
      kept->insert(kept->end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(got));
    }
  } while (got == chunk.size());
  return true;
}

// The line input's recording, read a chunk at a time and opened again at its end.
class FileLoop final : public LoopingSource {
 public:
  FileLoop(std::string path, int32_t rate, uint64_t length)
      : path_(std::move(path)), rate_(rate), length_(length) {}
  void Read(uint8_t* samples, size_t count) override { Take(samples, count); }
  void Skip(uint64_t count) override { Take(nullptr, count % length_); }

 private:
  void Take(uint8_t* to, uint64_t count) {
    while (count > 0) {
      if (at_ == got_) {
        Refill();
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, got_ - at_));
      if (to != nullptr) {
        std::memcpy(to, chunk_.data() + at_, n);
        to += n;
      }
      at_ += n;
      count -= n;
    }
  }

  void Refill() {
    at_ = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      FileError error;
      if (!reader_) {
        int32_t rate = rate_;
        reader_ = AudioReader::OpenAtFileRate(path_, rate, error);
      }
      got_ = 0;
      if (reader_ && reader_->Read(chunk_.data(), chunk_.size(), got_, error) && got_ > 0) {
        return;
      }
      reader_.reset();  // its end: from its start again
    }
    // It can no longer be read (removed, emptied): silence until it can.
    chunk_.fill(128);
    got_ = chunk_.size();
  }

  std::string path_;
  int32_t rate_;
  uint64_t length_;  // samples in one pass, never 0
  std::unique_ptr<AudioReader> reader_;
  std::array<uint8_t, kChunk> chunk_{};
  size_t at_ = 0;
  size_t got_ = 0;
};

}  // namespace

// One rate's loudspeaker file, written as the loudspeaker plays. After each output's close the
// file under its name is a complete WAV (RF64 past the WAV limit) of everything recorded at
// that rate. A failed write takes the file back to what the last close left, and a new file
// replaces an old one under its name only at its first successful close. A FIFO or device is
// written as a stream, its sizes "unknown".
class SpeakerFile {
 public:
  SpeakerFile(std::string path, int32_t rate, uint64_t wavLimit)
      : path_(std::move(path)), rate_(rate), wavLimit_(wavLimit) {}
  ~SpeakerFile() {
    if (playing_) {
      Restore();  // an output still open is dropped as a failed one is
    }
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  SpeakerFile(const SpeakerFile&) = delete;
  SpeakerFile& operator=(const SpeakerFile&) = delete;

  const std::string& Path() const { return path_; }
  int32_t Rate() const { return rate_; }

  void Play(const uint8_t* samples, size_t count) {
    if (!playing_) {
      playing_ = true;
      error_ = fd_ < 0 ? Begin() : 0;
    }
    while (count > 0 && error_ == 0) {
      const size_t n = std::min(count, buffer_.size() - buffered_);
      std::memcpy(buffer_.data() + buffered_, samples, n);
      buffered_ += n;
      samples += n;
      count -= n;
      if (buffered_ == buffer_.size()) {
        error_ = Flush();
      }
    }
  }

  // The output closed: 0, or the errno of the first failing call.
  int Finish() {
    if (!playing_) {
      return 0;
    }
    playing_ = false;
    int err = error_ != 0 ? error_ : Flush();
    if (err == 0 && !stream_) {
      err = Complete();
    }
    if (err == 0 && pending_) {
      err = pending_->Commit();
    }
    if (err != 0) {
      Restore();
      return err;
    }
    pending_.reset();
    done_ = written_;
    return 0;
  }

 private:
  uint64_t HeaderBytes() const { return rf64_ ? 80 : 44; }

  // A new file, that takes the name at its first close.
  int Begin() {
    pending_ = std::make_unique<SafeFile>();
    int err = pending_->Open(path_);
    if (err == 0) {
      err = DupFd(pending_->Fd(), fd_);
    }
    struct stat st {};
    if (err == 0) {
      stream_ = ::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode);
    }
    if (err == 0 && stream_) {
      std::vector<uint8_t> header = SpeakerHeader(0, rate_, false);
      std::fill_n(header.begin() + 4, 4, uint8_t{0xFF});  // sizes unknown
      std::fill_n(header.begin() + 40, 4, uint8_t{0xFF});
      err = WriteAll(fd_, header.data(), header.size(), -1);
    }
    return err;
  }

  int Flush() {
    const off_t at = stream_ ? -1 : static_cast<off_t>(HeaderBytes() + written_);
    const int err = WriteAll(fd_, buffer_.data(), buffered_, at);
    if (err == 0) {
      written_ += buffered_;
      buffered_ = 0;
    }
    return err;
  }

  // The pad byte of an odd length, and the header with the sizes.
  int Complete() {
    const uint64_t data = written_;
    int err = !rf64_ && data > wavLimit_ ? ToRf64() : 0;
    if (err == 0 && (data & 1) != 0) {
      const uint8_t pad = 0;
      err = WriteAll(fd_, &pad, 1, static_cast<off_t>(HeaderBytes() + data));
    }
    if (err == 0) {
      const std::vector<uint8_t> header = SpeakerHeader(data, rate_, rf64_);
      err = WriteAll(fd_, header.data(), header.size(), 0);
    }
    if (err == 0 && !pending_ && ::fsync(fd_) != 0) {
      err = errno;
    }
    return err;
  }

  // The WAV header has no room for 64-bit sizes: the data goes to a new RF64 file, that
  // replaces this one under its name.
  int ToRf64() {
    SafeFile next;
    int err = next.Open(path_);
    const std::vector<uint8_t> header = SpeakerHeader(written_, rate_, true);
    if (err == 0) {
      err = next.Write(header.data(), header.size());
    }
    if (err == 0) {
      err = CopyData(next);
    }
    int fd = -1;
    if (err == 0) {
      err = DupFd(next.Fd(), fd);
    }
    if (err == 0) {
      err = next.Commit();
    }
    if (err != 0) {
      if (fd >= 0) {
        ::close(fd);
      }
      return err;
    }
    ::close(fd_);
    fd_ = fd;
    pending_.reset();
    rf64_ = true;
    return 0;
  }

  // This file's data to `to`, through the copy buffer (empty once flushed).
  int CopyData(SafeFile& to) {
    const int in = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
      return errno;
    }
    int err = 0;
    for (uint64_t at = 0; at < written_ && err == 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), written_ - at));
      const ssize_t got = ::pread(in, buffer_.data(), n, static_cast<off_t>(HeaderBytes() + at));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      err = got < 0 ? errno : got == 0 ? EIO : to.Write(buffer_.data(), static_cast<size_t>(got));
      at += got > 0 ? static_cast<uint64_t>(got) : 0;
    }
    ::close(in);
    return err;
  }

  // Back to what the last close left: a new file is dropped; an older one loses what came
  // after, gets back its zero pad byte and its header.
  void Restore() {
    buffered_ = 0;
    error_ = 0;
    playing_ = false;
    if (pending_) {
      pending_.reset();
      if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
      }
      written_ = done_ = 0;
      rf64_ = stream_ = false;
      return;
    }
    if (stream_) {
      return;  // what a stream took cannot be taken back
    }
    const auto end = static_cast<off_t>(HeaderBytes() + done_);
    written_ = done_;
    const std::vector<uint8_t> header = SpeakerHeader(done_, rate_, rf64_);
    if (::ftruncate(fd_, end) == 0 && ::ftruncate(fd_, end + static_cast<off_t>(done_ & 1)) == 0 &&
        WriteAll(fd_, header.data(), header.size(), 0) == 0) {
      ::fsync(fd_);
    }
  }

  std::string path_;
  int32_t rate_;
  uint64_t wavLimit_;
  std::unique_ptr<SafeFile> pending_;  // until the file first takes its name
  int fd_ = -1;                        // kept past the naming, for the next outputs
  bool stream_ = false;
  bool rf64_ = false;
  bool playing_ = false;  // something was played since the output opened
  int error_ = 0;
  uint64_t done_ = 0;     // data bytes at the last close
  uint64_t written_ = 0;  // data bytes in the file
  std::array<uint8_t, 32768> buffer_{};
  size_t buffered_ = 0;
};

std::vector<uint8_t> SpeakerHeader(uint64_t dataBytes, int32_t rate, bool rf64) {
  return PcmWavHeader(rate, 8, 1, dataBytes, rf64);
}

std::string NumberedName(const std::string& path, int n) {
  const size_t slash = path.find_last_of('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= base) {
    dot = path.size();  // no extension (a leading dot makes a hidden name)
  }
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

std::shared_ptr<LoopingSource> OpenLineRecording(const std::string& path, int32_t& rate,
                                                 std::string& error) {
  FileError fileError;
  auto reader = AudioReader::OpenAtFileRate(path, rate, fileError);
  if (!reader) {
    error = fileError.message;
    return nullptr;
  }
  struct stat st {};
  const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  std::vector<uint8_t> kept;
  uint64_t length = 0;
  if (!ReadThrough(*reader, length, regular ? nullptr : &kept, error)) {
    return nullptr;
  }
  if (!regular || length == 0) {
    return std::make_shared<MemoryLoop>(std::move(kept));
  }
  return std::make_shared<FileLoop>(path, rate, length);
}

SpeakerFiles::SpeakerFiles(std::string path, uint64_t wavLimit)
    : path_(std::move(path)), wavLimit_(wavLimit) {}

SpeakerFiles::~SpeakerFiles() = default;

void SpeakerFiles::Open(int32_t rate) {
  rate_ = rate;
  current_ = nullptr;
}

void SpeakerFiles::Play(const uint8_t* samples, size_t count) {
  if (current_ == nullptr) {
    current_ = FileFor(rate_);
  }
  if (current_ != nullptr) {
    current_->Play(samples, count);
  }
}

int SpeakerFiles::Close() {
  SpeakerFile* file = current_;
  current_ = nullptr;
  const int err = file != nullptr ? file->Finish() : 0;
  if (err != 0) {
    failed_ = file->Path();
  }
  return err;
}

SpeakerFile* SpeakerFiles::FileFor(int32_t rate) {
  for (const auto& file : files_) {
    if (file->Rate() == rate) {
      return file.get();
    }
  }
  // No file is made beside a FIFO or a device.
  struct stat st {};
  if (!files_.empty() && ::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return nullptr;
  }
  const int n = static_cast<int>(files_.size()) + 1;
  files_.push_back(
      std::make_unique<SpeakerFile>(n == 1 ? path_ : NumberedName(path_, n), rate, wavLimit_));
  return files_.back().get();
}

}  // namespace velunda
