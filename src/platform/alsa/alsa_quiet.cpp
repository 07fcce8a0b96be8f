#include "platform/alsa/alsa_quiet.hpp"

#include <alsa/asoundlib.h>

#include <mutex>

namespace velunda {
namespace {

void SilentErrorHandler(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void SilenceAlsaLib() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(SilentErrorHandler); });
}

}  // namespace velunda
