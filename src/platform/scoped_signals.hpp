#pragma once
#include <csignal>
#include <initializer_list>
#include <utility>
#include <vector>

namespace velunda {

// Catches the given signals with `handler` for the object's life and puts the previous
// actions back afterwards. A signal that was ignored stays ignored: under nohup or in a
// background job the program must not die of the signals its launcher chose to ignore.
class ScopedSignalHandlers {
 public:
  ScopedSignalHandlers(std::initializer_list<int> signals, void (*handler)(int));
  ~ScopedSignalHandlers();
  ScopedSignalHandlers(const ScopedSignalHandlers&) = delete;
  ScopedSignalHandlers& operator=(const ScopedSignalHandlers&) = delete;

 private:
  std::vector<std::pair<int, struct sigaction>> saved_;
};

}  // namespace velunda
