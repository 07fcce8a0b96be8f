#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/message_box.hpp"

namespace velunda {

// Small text-file routines. Each shows its own messages and returns true when an error occurred,
// except TextFileExists, which says whether the file can be opened for reading.

bool TextFileExists(const std::string& name);

// Reads at most 1000 bytes of a regular file (anything else counts as unreadable); `text` is what was read up to the first NUL, `count` the bytes read
// (-1 when the read failed).
bool ReadTextFile(const std::string& name, std::string& text, int32_t& count, MessageBox& messages);

// Writes `text` up to its first NUL through a SafeFile: the new content replaces the file at
// once, through a symbolic link that is safe to follow, keeping its mode; anything but a regular
// file (a FIFO, a device) is refused; on any failure the old file stays as it was.
// A file that cannot be opened for writing (read-only) is refused as a plain create-or-truncate
// would refuse it. Where no new file can be made beside it (a directory the user cannot write
// to), the file is written in place and synced.
bool WriteTextFile(const std::string& name, std::string_view text, MessageBox& messages);

}  // namespace velunda
