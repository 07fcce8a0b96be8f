#pragma once

namespace velunda {

// alsa-lib prints its own diagnostics on stderr; our callers report failures themselves.
// Idempotent and thread-safe.
void SilenceAlsaLib();

}  // namespace velunda
