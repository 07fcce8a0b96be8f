// Any bytes on velunda-filtre's standard input, read as a WAV stream and as each raw sample
// type, through the reader the program uses: the read ends at the end of the input, without a
// crash, a leak or a hang, and a refusal says why.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "audio_io/stream_io.hpp"

namespace velunda {
namespace {

// A pipe holding `data` (as much as it takes), its writing end closed: then the input ends.
int PipeOf(const uint8_t* data, size_t size) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    std::abort();
  }
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  if (size > 0) {
    [[maybe_unused]] const ssize_t n = ::write(fds[1], data, size);
  }
  ::close(fds[1]);
  return fds[0];
}

// Reads as the program does, in bytes and in values by turns, until the end or an error.
void ReadToTheEnd(AudioReader& reader) {
  std::vector<uint8_t> bytes(2666);
  std::vector<double> values(1000);
  FileError error;
  for (bool inBytes = true;; inBytes = !inBytes) {
    size_t got = 0;
    const bool read = inBytes ? reader.Read(bytes.data(), bytes.size(), got, error)
                              : reader.ReadValues(values.data(), values.size(), got, error);
    if (!read && error.message.empty()) {
      std::abort();
    }
    if (!read || got == 0) {
      return;
    }
  }
}

}  // namespace
}  // namespace velunda

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velunda;
  StopStreamOnSignals signals;  // as with audio on standard output: every wait is a poll
  for (RawSample type : {RawSample::None, RawSample::U8, RawSample::S16, RawSample::F32}) {
    const int fd = PipeOf(data, size);
    int32_t rate = 8000;
    FileError error;
    if (auto reader = OpenInputStream(fd, type, rate, error)) {
      if (rate < 1 || rate > 1000000) {
        std::abort();
      }
      ReadToTheEnd(*reader);
    } else if (!error.message.starts_with("velunda-filtre : ")) {
      std::abort();
    }
    ::close(fd);
  }
  return 0;
}
