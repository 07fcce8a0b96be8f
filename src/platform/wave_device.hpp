#pragma once
#include <cstdint>

namespace velunda {

// Wave audio devices: input and output device 0 of a sound card, 8-bit mono PCM, buffers
// queued by the caller and handed back through notices. The model is the classic
// multimedia wave interface, so that results and messages stay those of the program.
//
// Threading: single thread. A back-end moves audio and posts its notices only inside calls
// made to it (any operation below, and SoundCard::WaitForActivity); it never calls the
// NoticeSink from a thread of its own.

// Result codes: 0 is success; anything else is the platform's code (a positive errno for
// ALSA, the codes below for the virtual card), shown in decimal in the error messages.
inline constexpr uint32_t kWaveOk = 0;
inline constexpr uint32_t kMmErrorBadDeviceId = 2;
inline constexpr uint32_t kMmErrorAllocated = 4;  // device already in use
inline constexpr uint32_t kMmErrorInvalidHandle = 5;
inline constexpr uint32_t kMmErrorNoMemory = 7;
inline constexpr uint32_t kMmErrorInvalidParam = 11;
inline constexpr uint32_t kWaveErrorBadFormat = 32;
inline constexpr uint32_t kWaveErrorStillPlaying = 33;
inline constexpr uint32_t kWaveErrorUnprepared = 34;

// Notice messages, posted to the NoticeSink given at open.
inline constexpr uint32_t MM_WOM_OPEN = 0x3BB;
inline constexpr uint32_t MM_WOM_CLOSE = 0x3BC;
inline constexpr uint32_t MM_WOM_DONE = 0x3BD;   // an output buffer was played and returned
inline constexpr uint32_t MM_WIM_OPEN = 0x3BE;   // input opened
inline constexpr uint32_t MM_WIM_CLOSE = 0x3BF;  // input closed
inline constexpr uint32_t MM_WIM_DATA = 0x3C0;   // an input buffer was filled (or reset)

// Format mask bit: 11025 Hz, mono, 8 bits.
inline constexpr uint32_t WAVE_FORMAT_1M08 = 0x1;

// Header flags.
inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormat {
  uint16_t wFormatTag = WAVE_FORMAT_PCM;
  uint16_t nChannels = 1;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 1;
  uint16_t wBitsPerSample = 8;
};

// One buffer as seen by a device. Headers are identified by address: a notice carries the
// address of the header it concerns.
struct WaveHeader {
  uint8_t* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uint32_t dwBytesRecorded = 0;  // input: bytes captured so far; grows while queued
  uint32_t dwUser = 0;
  uint32_t dwFlags = 0;
  uint32_t dwLoops = 1;
  WaveHeader* lpNext = nullptr;
  uint32_t reserved = 0;
};

// Where a device posts its notices (the notification window).
class NoticeSink {
 public:
  virtual ~NoticeSink() = default;
  virtual void PostNotice(uint32_t message, WaveHeader* header) = 0;
};

// Wave input device 0.
//  - Open: one open at a time; opening an open device gives kMmErrorAllocated. Posts
//    MM_WIM_OPEN. Capture does not run before Start.
//  - PrepareHeader sets WHDR_PREPARED; UnprepareHeader clears it (kWaveErrorStillPlaying
//    while the header is queued; unpreparing a header that is not prepared succeeds).
//  - AddBuffer needs a prepared header (else kWaveErrorUnprepared); sets WHDR_INQUEUE, clears
//    WHDR_DONE and dwBytesRecorded. Buffers fill in queue order; dwBytesRecorded grows as
//    samples arrive; a full buffer leaves the queue (WHDR_DONE set, WHDR_INQUEUE cleared) and
//    MM_WIM_DATA is posted with its header. With no buffer queued, captured samples are lost.
//  - Reset stops capture and returns every queued buffer as it stands (MM_WIM_DATA each).
//  - Close: kWaveErrorStillPlaying while buffers are queued; otherwise closes and posts
//    MM_WIM_CLOSE.
class WaveIn {
 public:
  virtual ~WaveIn() = default;
  virtual uint16_t DeviceCount() = 0;
  // Format mask of device 0 (bit 0: WAVE_FORMAT_1M08); a non-zero result leaves it unset.
  virtual uint32_t GetCapabilities(uint32_t& formats) = 0;
  virtual uint32_t Open(const WaveFormat& format, NoticeSink& window) = 0;
  virtual uint32_t PrepareHeader(WaveHeader& header) = 0;
  virtual uint32_t UnprepareHeader(WaveHeader& header) = 0;
  virtual uint32_t AddBuffer(WaveHeader& header) = 0;
  virtual uint32_t Start() = 0;
  virtual uint32_t Reset() = 0;
  virtual uint32_t Close() = 0;
};

// Wave output device 0.
//  - Open, PrepareHeader, UnprepareHeader, Close: as for input (no open/close notices needed).
//  - Write needs a prepared header; it queues the buffer for playback, which starts with the
//    first write. The device reads a buffer's memory when it plays it, not when it is
//    queued. A buffer that has been played entirely leaves the queue (WHDR_DONE set,
//    WHDR_INQUEUE cleared) and MM_WOM_DONE is posted. With nothing queued the device falls
//    silent and resumes with the next write.
//  - Reset stops playback and returns every queued buffer (MM_WOM_DONE each).
class WaveOut {
 public:
  virtual ~WaveOut() = default;
  virtual uint16_t DeviceCount() = 0;
  virtual uint32_t GetCapabilities(uint32_t& formats) = 0;
  virtual uint32_t Open(const WaveFormat& format, NoticeSink& window) = 0;
  virtual uint32_t PrepareHeader(WaveHeader& header) = 0;
  virtual uint32_t UnprepareHeader(WaveHeader& header) = 0;
  virtual uint32_t Write(WaveHeader& header) = 0;
  virtual uint32_t Reset() = 0;
  virtual uint32_t Close() = 0;
};

// A sound card: its input and output device 0.
class SoundCard {
 public:
  virtual ~SoundCard() = default;
  virtual WaveIn& Input() = 0;
  virtual WaveOut& Output() = 0;
  // Waits at most maxMs for the devices to need service (a buffer may fill or drain), then
  // moves the audio that is due and posts the resulting notices. maxMs 0 only services.
  // Never waits longer than maxMs (with no device open it may simply sleep).
  virtual void WaitForActivity(uint32_t maxMs) = 0;
  // For a caller that sleeps on other inputs as well: a descriptor that turns readable when
  // the devices have something to hand over (-1: none), and how long the caller may sleep
  // before the card needs WaitForActivity(0) to move its audio (UINT32_MAX: no limit).
  virtual int ActivityFd() const { return -1; }
  virtual uint32_t MsUntilService() const { return UINT32_MAX; }
  // How many times the input lost sound because the program took it too late (0 on a card
  // that waits for its buffers).
  virtual uint32_t CaptureOverruns() { return 0; }
};

// Sleeps until the card needs service, `otherFd` is readable (-1: none) or maxMs pass, then
// services the card. Returns whether `otherFd` was readable.
bool WaitOnCard(SoundCard& card, int otherFd, uint32_t maxMs);

}  // namespace velunda
