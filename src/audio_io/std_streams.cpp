#include "audio_io/std_streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "audio_io/audio_file.hpp"
#include "platform/program_name.hpp"

namespace velunda {

void KeepStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int spare = ::open("/dev/null", O_RDONLY);
      if (spare >= 0 && spare != fd) {
        ::dup2(spare, fd);
        ::close(spare);
      }
    }
  }
}

int WriteStdout(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? errno : ENOSPC;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

std::string StdoutErrorMessage(int err) {
  if (err == EBADF) {
    return ProgramLine("impossible d'écrire sur la sortie standard : elle est fermée");
  }
  return ProgramName() + " : erreur d'écriture sur la sortie standard : " + FileErrorReason(err);
}

}  // namespace velunda
