#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/message_box.hpp"

namespace velunda {

// Small text-file routines. Each shows its own messages and returns true when an error occurred,
// except TextFileExists, which says whether the file can be opened for reading.

bool TextFileExists(const std::string& name);

// Reads at most 1000 bytes; `text` is what was read up to the first NUL, `count` the bytes read
// (-1 when the read failed).
bool ReadTextFile(const std::string& name, std::string& text, int32_t& count, MessageBox& messages);

// Writes `text` up to its first NUL. The new content goes to a temporary file beside `name`,
// which then replaces it: on any failure the old file stays as it was.
bool WriteTextFile(const std::string& name, std::string_view text, MessageBox& messages);

}  // namespace velunda
