#include "config/fonctions_fichiers.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/safe_file.hpp"

namespace velunda {

namespace {

constexpr size_t kMaxRead = 1000;

std::string ErrorNumber(int error) { return std::to_string(error & 0xFFFF); }

// Opens for reading without waiting on a FIFO that has no writer.
int OpenForReading(const std::string& name) {
  return ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

bool TextFileExists(const std::string& name) {
  const int fd = OpenForReading(name);
  if (fd < 0) {
    return false;
  }
  ::close(fd);
  return true;
}

bool ReadTextFile(const std::string& name, std::string& text, int32_t& count,
                  MessageBox& messages) {
  text.clear();
  count = 0;
  const int fd = OpenForReading(name);
  struct stat st {};
  // Only a regular file is read: a FIFO or a device counts as unreadable.
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) {
      ::close(fd);
    }
    messages.ShowError("Impossible d'ouvrir le fichier " + name + " en lecture.");
    return true;
  }
  bool failed = false;
  std::string buffer(kMaxRead, '\0');
  size_t got = 0;
  while (got < kMaxRead) {
    const ssize_t n = ::read(fd, buffer.data() + got, kMaxRead - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      messages.ShowError("Erreur lors de la lecture du fichier " + name + ".");
      failed = true;
      got = 0;
      break;
    }
    if (n == 0) {
      break;
    }
    got += static_cast<size_t>(n);
  }
  count = failed ? -1 : static_cast<int32_t>(got);
  buffer.resize(got);
  text = buffer.substr(0, buffer.find('\0'));
  if (::close(fd) != 0) {
    const int error = errno;
    messages.ShowError("Erreur lors de fermeture de fichier lec. n°" + ErrorNumber(error));
    failed = true;
  }
  return failed;
}

bool WriteTextFile(const std::string& name, std::string_view text, MessageBox& messages) {
  const std::string cantOpen = "Impossible d'ouvrir le fichier " + name + " en écriture.";
  const std::string_view content = text.substr(0, text.find('\0'));
  SafeFileOptions options;
  options.inPlaceFallback = true;
  options.regularOnly = true;  // never into a FIFO or a device, by name or through a link
  SafeFile file;
  int err = file.Open(name, options);
  if (err == 0) {
    err = file.Write(content.data(), content.size());
  }
  if (err == 0) {
    err = file.Commit();
  }
  switch (err == 0 ? SafeFileStep::None : file.Step()) {
    case SafeFileStep::None:
      return false;
    case SafeFileStep::Write:
    case SafeFileStep::Sync:
      messages.ShowError("Ecriture du texte impossible. Disque dur plein? ");
      return true;
    case SafeFileStep::Close:
      messages.ShowError("Erreur lors de fermeture de fichier écr. n°" + ErrorNumber(err));
      return true;
    case SafeFileStep::Open:
    case SafeFileStep::Rename:
      break;
  }
  messages.ShowError(cantOpen);
  return true;
}

}  // namespace velunda
