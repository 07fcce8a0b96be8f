#include "platform/clock.hpp"

#include <chrono>

namespace velunda {

uint32_t SteadyClock::NowMs() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

}  // namespace velunda
