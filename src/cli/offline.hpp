#pragma once

namespace velunda {

struct Options;
class Clock;

// Runs the filter over the recording options.input into options.output, block by block through
// ProcessBlock, as fast as the machine goes. Returns the process exit status.
int RunOffline(const Options& options, Clock& calibrationClock);

}  // namespace velunda
