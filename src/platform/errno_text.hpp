#pragma once
#include <string>

namespace velunda {

// A French reason for an errno; the number only for ones too rare to have a text.
std::string ErrnoText(int err);

}  // namespace velunda
