#pragma once
#include <string>
#include <string_view>

namespace velunda {

// Keeps descriptors 0 to 2 taken: a closed one gets /dev/null opened read-only, so a file
// opened later never lands on it and a write to it still fails with EBADF, as on a closed
// descriptor. Called first thing in main().
void KeepStandardDescriptors();

// Writes all of `text` on stdout with write(2), so the errno of a failure is the write's own.
// 0 or that errno.
int WriteStdout(std::string_view text);

// The French line for a failed write on stdout.
std::string StdoutErrorMessage(int err);

}  // namespace velunda
