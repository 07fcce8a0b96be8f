#include "platform/message_box.hpp"

#include <cstdio>

namespace velunda {

void StderrMessageBox::ShowError(std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

}  // namespace velunda
