#include "config/fonctions_fichiers.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velunda {

namespace {

constexpr size_t kMaxRead = 1000;

std::string ErrorNumber(int error) { return std::to_string(error & 0xFFFF); }

// Writes all of `data`, going on after partial writes; false when the system took less.
bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool TextFileExists(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
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
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
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
  const std::string temporary = name + ".tmp" + std::to_string(::getpid());
  ::unlink(temporary.c_str());  // a leftover of a crashed run
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    messages.ShowError(cantOpen);
    return true;
  }
  const std::string_view content = text.substr(0, text.find('\0'));
  if (!WriteAll(fd, content) || ::fsync(fd) != 0) {
    messages.ShowError("Ecriture du texte impossible. Disque dur plein? ");
    ::close(fd);
    ::unlink(temporary.c_str());
    return true;
  }
  if (::close(fd) != 0) {
    const int error = errno;
    messages.ShowError("Erreur lors de fermeture de fichier écr. n°" + ErrorNumber(error));
    ::unlink(temporary.c_str());
    return true;
  }
  if (std::rename(temporary.c_str(), name.c_str()) != 0) {
    messages.ShowError(cantOpen);
    ::unlink(temporary.c_str());
    return true;
  }
  return false;
}

}  // namespace velunda
