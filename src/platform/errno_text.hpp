#pragma once
#include <string>

namespace velunda {

// A French reason for the errno values a user meets; the number for the others.
std::string ErrnoText(int err);

}  // namespace velunda
