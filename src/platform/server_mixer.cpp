#include "platform/server_mixer.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velunda {

namespace mt = mixer_type;

namespace {

// Control identifiers, in the order ServerDescription lays them out.
constexpr uint32_t kStreamVolume = 1;
constexpr uint32_t kStreamMute = 2;
constexpr uint32_t kWaveVolume = 3;
constexpr uint32_t kWaveMute = 4;
constexpr uint32_t kSourceList = 5;
constexpr uint32_t kSourceGain = 6;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

ControlDescription Control(uint32_t type, uint32_t maximum, uint32_t value = 0) {
  ControlDescription c;
  c.ControlType = type;
  c.Maximum = maximum;
  c.Uniform = type != mt::kVolume;
  c.Value = {value, value};
  return c;
}

LineDescription Line(uint32_t type, std::string name, std::vector<ControlDescription> controls) {
  LineDescription line;
  line.ComponentType = type;
  line.ShortName = std::move(name);
  line.Channels = 1;
  line.Controls = std::move(controls);
  return line;
}

}  // namespace

uint32_t PortComponentType(const ServerPort& port) {
  const std::string name = Lower(port.Name);
  if (name.find("line") != std::string::npos) {  // "analog-input-linein", "line-in", ...
    return mt::kSrcLine;
  }
  if (name.find("mic") != std::string::npos) {
    return mt::kSrcMicrophone;
  }
  return mt::kSrcAuxiliary;
}

uint32_t GainToServerVolume(uint32_t gain) {
  const double g = std::min<uint32_t>(gain, 100);
  return static_cast<uint32_t>(std::lrint(kServerVolumeNorm * std::exp2(g / 100.0)));
}

MixerDescription ServerDescription(const ServerSource& source,
                                   std::vector<std::string>& itemPorts) {
  MixerDescription d;
  DestinationDescription playback;
  playback.Line = Line(mt::kDstSpeakers, "Flux de lecture",
                       {Control(mt::kVolume, 100, 100), Control(mt::kMute, 1)});
  playback.Sources.push_back(
      Line(mt::kSrcWaveOut, "Son", {Control(mt::kVolume, 100, 100), Control(mt::kMute, 1)}));
  d.Destinations.push_back(std::move(playback));

  DestinationDescription recording;
  ControlDescription list = Control(mt::kMux, 1);
  itemPorts.clear();
  for (const ServerPort& port : source.Ports) {
    const uint32_t type = PortComponentType(port);
    if (type == mt::kSrcAuxiliary) {
      continue;
    }
    list.ItemSources.push_back(static_cast<uint32_t>(recording.Sources.size()));
    list.Selection.push_back(port.Name == source.ActivePort);
    recording.Sources.push_back(
        Line(type, port.Description.empty() ? port.Name : port.Description, {}));
    itemPorts.push_back(port.Name);
  }
  // A kind the source has no port for is the source as it stands.
  for (uint32_t type : {mt::kSrcLine, mt::kSrcMicrophone}) {
    const bool present =
        std::any_of(recording.Sources.begin(), recording.Sources.end(),
                    [type](const LineDescription& l) { return l.ComponentType == type; });
    if (!present) {
      list.ItemSources.push_back(static_cast<uint32_t>(recording.Sources.size()));
      list.Selection.push_back(false);
      recording.Sources.push_back(Line(type, source.Name, {}));
      itemPorts.emplace_back();
    }
  }
  recording.Line =
      Line(mt::kDstWaveIn, source.Name, {std::move(list), Control(mt::kUnsigned, 100)});
  d.Destinations.push_back(std::move(recording));
  return d;
}

namespace {

MixerDescription DescriptionOnly(const ServerSource& source) {
  std::vector<std::string> itemPorts;
  return ServerDescription(source, itemPorts);
}

}  // namespace

ServerMixer::ServerMixer(std::unique_ptr<SoundServer> server, ServerSource source)
    : ModelMixer(DescriptionOnly(source)),
      server_(std::move(server)),
      source_(std::move(source)),
      currentPort_(source_.ActivePort) {
  ServerDescription(source_, itemPorts_);  // the port of each entry of the source list
}

ServerMixer::~ServerMixer() { PutBack(); }

bool ServerMixer::IsStreamControl(uint32_t controlId) const {
  return controlId >= kStreamVolume && controlId <= kWaveMute;
}

// The stream's volume is the loudspeaker's times the wave output's; either mute silences it.
bool ServerMixer::ApplyStreamLevel() {
  const auto current = server_->OwnStreamLevel();
  if (!current) {
    return true;  // no stream yet: the next setting made while it plays reaches it
  }
  if (!savedStream_) {
    savedStream_ = *current;
  }
  const uint64_t speaker = FindControl(kStreamVolume)->Value.Left;
  const uint64_t wave = FindControl(kWaveVolume)->Value.Left;
  const auto volume = static_cast<uint32_t>(kServerVolumeNorm * speaker * wave / 10000);
  StreamLevel level;
  level.Volumes.assign(std::max<size_t>(current->Volumes.size(), 1), volume);
  level.Mute = FindControl(kStreamMute)->Switch || FindControl(kWaveMute)->Switch;
  return server_->SetOwnStreamLevel(level);
}

bool ServerMixer::SetSwitch(uint32_t controlId, bool value) {
  if (!ModelMixer::SetSwitch(controlId, value)) {
    return false;
  }
  return !IsStreamControl(controlId) || ApplyStreamLevel();
}

bool ServerMixer::SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) {
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr) {
    return false;
  }
  value.Left = std::min(value.Left, c->Maximum);
  value.Right = std::min(value.Right, c->Maximum);
  if (!ModelMixer::SetStereo(controlId, channels, value)) {
    return false;
  }
  if (IsStreamControl(controlId)) {
    return ApplyStreamLevel();
  }
  if (controlId != kSourceGain) {
    return true;
  }
  if (!savedSourceVolumes_) {
    savedSourceVolumes_ = source_.Volumes;
  }
  const ServerVolumes volumes(std::max<size_t>(source_.Volumes.size(), 1),
                              GainToServerVolume(value.Left));
  return server_->SetSourceVolumes(source_.Name, volumes);
}

bool ServerMixer::SetItems(uint32_t controlId, const std::vector<bool>& selection) {
  if (!ModelMixer::SetItems(controlId, selection)) {
    return false;
  }
  if (controlId != kSourceList) {
    return true;
  }
  // A single-select list: its first selected entry. The source itself is its port as found.
  const auto first = std::find(selection.begin(), selection.end(), true);
  if (first == selection.end()) {
    return true;
  }
  std::string port = itemPorts_[static_cast<size_t>(first - selection.begin())];
  if (port.empty()) {
    port = source_.ActivePort;
  }
  if (port.empty() || port == currentPort_) {
    return true;
  }
  if (!savedPort_) {
    savedPort_ = source_.ActivePort;
  }
  currentPort_ = port;
  return server_->SetSourcePort(source_.Name, port);
}

void ServerMixer::PutBack() {
  if (savedPort_ && !savedPort_->empty()) {
    server_->SetSourcePort(source_.Name, *savedPort_);
  }
  if (savedSourceVolumes_) {
    server_->SetSourceVolumes(source_.Name, *savedSourceVolumes_);
  }
  if (savedStream_ && server_->OwnStreamLevel()) {
    server_->SetOwnStreamLevel(*savedStream_);
  }
  currentPort_ = source_.ActivePort;
  savedPort_.reset();
  savedSourceVolumes_.reset();
  savedStream_.reset();
}

}  // namespace velunda
