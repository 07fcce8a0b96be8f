#include "platform/scoped_signals.hpp"

namespace velunda {

ScopedSignalHandlers::ScopedSignalHandlers(std::initializer_list<int> signals,
                                           void (*handler)(int)) {
  for (int s : signals) {
    struct sigaction previous {};
    if (::sigaction(s, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    if (::sigaction(s, &action, nullptr) == 0) {
      saved_.emplace_back(s, previous);
    }
  }
}

ScopedSignalHandlers::~ScopedSignalHandlers() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    ::sigaction(it->first, &it->second, nullptr);
  }
}

}  // namespace velunda
