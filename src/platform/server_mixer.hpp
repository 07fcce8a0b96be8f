#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/mixer_model.hpp"

namespace velunda {

// Volumes of a sound server (PipeWire or PulseAudio), one per channel; 0x10000 is 100 %.
inline constexpr uint32_t kServerVolumeNorm = 0x10000;
using ServerVolumes = std::vector<uint32_t>;

struct ServerPort {
  std::string Name;  // "analog-input-linein", "analog-input-mic", ...
  std::string Description;
};

// The source the server records from by default.
struct ServerSource {
  std::string Name;
  std::vector<ServerPort> Ports;
  std::string ActivePort;  // "" when it has no ports
  ServerVolumes Volumes;
};

// The volume and mute of the program's own playback streams.
struct StreamLevel {
  ServerVolumes Volumes;
  bool Mute = false;
  bool operator==(const StreamLevel&) const = default;
};

// What the mixer asks of the sound server. Sets return false when the server refuses.
class SoundServer {
 public:
  virtual ~SoundServer() = default;
  virtual std::optional<ServerSource> DefaultSource() = 0;
  virtual bool SetSourceVolumes(const std::string& source, const ServerVolumes& volumes) = 0;
  virtual bool SetSourcePort(const std::string& source, const std::string& port) = 0;
  // Nothing while the program has no playback stream open.
  virtual std::optional<StreamLevel> OwnStreamLevel() = 0;
  virtual bool SetOwnStreamLevel(const StreamLevel& level) = 0;
};

// The line type a source port stands for: line in, microphone, or another input.
uint32_t PortComponentType(const ServerPort& port);

// The source's volume for a recording gain of 0..100: x1 at 0, doubling the amplitude every
// third, so that x2, x4 and x8 fall on 34, 67 and 100 (the server's volume is cubic).
uint32_t GainToServerVolume(uint32_t gain);

// The sound server seen as a mixer: the loudspeaker destination and its wave source are the
// program's own playback stream (their volumes multiply, either mute silences it); the recording
// destination is the default source, its source list the source's line and microphone ports
// (the source itself stands for a kind it has no port of), its gain the source's volume.
// Everything it changes on the server is put back when it is destroyed.
class ServerMixer final : public ModelMixer {
 public:
  ServerMixer(std::unique_ptr<SoundServer> server, ServerSource source);
  ~ServerMixer() override;
  ServerMixer(const ServerMixer&) = delete;
  ServerMixer& operator=(const ServerMixer&) = delete;

  bool SetSwitch(uint32_t controlId, bool value) override;
  bool SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) override;
  bool SetItems(uint32_t controlId, const std::vector<bool>& selection) override;

  // Puts back the source's port and volume and the stream's level as first found.
  void PutBack();

 private:
  bool ApplyStreamLevel();
  bool IsStreamControl(uint32_t controlId) const;

  std::unique_ptr<SoundServer> server_;
  ServerSource source_;
  std::vector<std::string> itemPorts_;  // port of each source line; "" for the source itself
  std::string currentPort_;
  std::optional<ServerVolumes> savedSourceVolumes_;
  std::optional<std::string> savedPort_;
  std::optional<StreamLevel> savedStream_;
};

// The model a server's source gives (the layout ServerMixer answers with).
MixerDescription ServerDescription(const ServerSource& source, std::vector<std::string>& itemPorts);

}  // namespace velunda
