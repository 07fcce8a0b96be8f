#include "platform/mixer_model.hpp"

#include <algorithm>
#include <utility>

namespace velunda {

namespace {

uint32_t LineIdOf(uint32_t destination, int32_t source) {
  return ((destination + 1) << 16) | static_cast<uint32_t>(source + 1);
}

}  // namespace

ModelMixer::ModelMixer(MixerDescription description) : description_(std::move(description)) {
  for (auto& destination : description_.Destinations) {
    for (auto& control : destination.Line.Controls) {
      controls_.push_back(&control);
    }
    for (auto& source : destination.Sources) {
      for (auto& control : source.Controls) {
        controls_.push_back(&control);
      }
    }
  }
}

void ModelMixer::Note(const char*, uint32_t, std::vector<uint32_t>) {}

const LineDescription* ModelMixer::LineAt(LineRef ref) const {
  if (ref.destination >= description_.Destinations.size()) {
    return nullptr;
  }
  const auto& destination = description_.Destinations[ref.destination];
  if (ref.source < 0) {
    return &destination.Line;
  }
  if (static_cast<size_t>(ref.source) >= destination.Sources.size()) {
    return nullptr;
  }
  return &destination.Sources[static_cast<size_t>(ref.source)];
}

std::optional<ModelMixer::LineRef> ModelMixer::Resolve(uint32_t lineId) const {
  const uint32_t high = lineId >> 16;
  if (!description_.Present || high == 0) {
    return std::nullopt;
  }
  LineRef ref{high - 1, static_cast<int32_t>(lineId & 0xFFFF) - 1};
  if (LineAt(ref) == nullptr) {
    return std::nullopt;
  }
  return ref;
}

uint32_t ModelMixer::FirstControlId(LineRef ref) const {
  uint32_t id = 1;
  for (uint32_t d = 0; d < description_.Destinations.size(); ++d) {
    const auto& destination = description_.Destinations[d];
    if (d == ref.destination && ref.source < 0) {
      return id;
    }
    id += static_cast<uint32_t>(destination.Line.Controls.size());
    for (uint32_t s = 0; s < destination.Sources.size(); ++s) {
      if (d == ref.destination && static_cast<int32_t>(s) == ref.source) {
        return id;
      }
      id += static_cast<uint32_t>(destination.Sources[s].Controls.size());
    }
  }
  return id;
}

MixerLine ModelMixer::Info(LineRef ref) const {
  const LineDescription* line = LineAt(ref);
  MixerLine info;
  info.LineId = LineIdOf(ref.destination, ref.source);
  info.Destination = ref.destination;
  info.ComponentType = line->ComponentType;
  info.ShortName = line->ShortName;
  info.Channels = line->Channels;
  info.Controls = static_cast<uint32_t>(line->Controls.size());
  if (ref.source < 0) {
    info.Connections =
        static_cast<uint32_t>(description_.Destinations[ref.destination].Sources.size());
  }
  return info;
}

uint32_t ModelMixer::DeviceCount() {
  Note("DeviceCount", 0, {});
  return description_.Present ? 1 : 0;
}

uint32_t ModelMixer::DestinationCount() {
  Note("DestinationCount", 0, {});
  return description_.Present ? static_cast<uint32_t>(description_.Destinations.size()) : 0;
}

std::optional<MixerLine> ModelMixer::LineByDestination(uint32_t destination) {
  Note("LineByDestination", destination, {});
  if (!description_.Present || destination >= description_.Destinations.size()) {
    return std::nullopt;
  }
  return Info({destination, -1});
}

std::optional<MixerLine> ModelMixer::LineByComponentType(uint32_t componentType) {
  Note("LineByComponentType", componentType, {});
  if (!description_.Present) {
    return std::nullopt;
  }
  for (uint32_t d = 0; d < description_.Destinations.size(); ++d) {
    if (description_.Destinations[d].Line.ComponentType == componentType) {
      return Info({d, -1});
    }
  }
  for (uint32_t d = 0; d < description_.Destinations.size(); ++d) {
    const auto& sources = description_.Destinations[d].Sources;
    for (uint32_t s = 0; s < sources.size(); ++s) {
      if (sources[s].ComponentType == componentType) {
        return Info({d, static_cast<int32_t>(s)});
      }
    }
  }
  return std::nullopt;
}

std::optional<MixerLine> ModelMixer::LineById(uint32_t lineId) {
  Note("LineById", lineId, {});
  auto ref = Resolve(lineId);
  if (!ref) {
    return std::nullopt;
  }
  return Info(*ref);
}

std::optional<MixerLine> ModelMixer::LineBySource(uint32_t destination, uint32_t source) {
  Note("LineBySource", destination, {source});
  LineRef ref{destination, static_cast<int32_t>(source)};
  if (!description_.Present || source > 0xFFFE || LineAt(ref) == nullptr) {
    return std::nullopt;
  }
  return Info(ref);
}

std::optional<std::vector<MixerControl>> ModelMixer::LineControls(uint32_t lineId) {
  Note("LineControls", lineId, {});
  auto ref = Resolve(lineId);
  if (!ref) {
    return std::nullopt;
  }
  const LineDescription* line = LineAt(*ref);
  std::vector<MixerControl> controls;
  uint32_t id = FirstControlId(*ref);
  for (const auto& c : line->Controls) {
    MixerControl control;
    control.ControlId = id++;
    control.ControlType = c.ControlType;
    control.Uniform = c.Uniform;
    control.Items = static_cast<uint32_t>(c.ItemSources.size());
    control.Minimum = c.Minimum;
    control.Maximum = c.Maximum;
    controls.push_back(control);
  }
  return controls;
}

std::optional<std::vector<MixerListItem>> ModelMixer::ListItems(const MixerControl& control) {
  Note("ListItems", control.ControlId, {});
  ControlDescription* c = FindControl(control.ControlId);
  if (c == nullptr || c->ItemSources.empty()) {
    return std::nullopt;
  }
  // The list belongs to a line of some destination; its items are that destination's sources.
  for (uint32_t d = 0; d < description_.Destinations.size(); ++d) {
    const auto& destination = description_.Destinations[d];
    auto owns = [c](const LineDescription& line) {
      return std::any_of(line.Controls.begin(), line.Controls.end(),
                         [c](const ControlDescription& x) { return &x == c; });
    };
    bool mine = owns(destination.Line) ||
                std::any_of(destination.Sources.begin(), destination.Sources.end(), owns);
    if (!mine) {
      continue;
    }
    std::vector<MixerListItem> items;
    for (uint32_t s : c->ItemSources) {
      if (s >= destination.Sources.size()) {
        return std::nullopt;
      }
      items.push_back({LineIdOf(d, static_cast<int32_t>(s)), destination.Sources[s].ShortName});
    }
    return items;
  }
  return std::nullopt;
}

ControlDescription* ModelMixer::FindControl(uint32_t controlId) {
  if (!description_.Present || controlId == 0 || controlId > controls_.size()) {
    return nullptr;
  }
  return controls_[controlId - 1];
}

uint32_t ModelMixer::ControlIdOf(const std::string& lineShortName, uint32_t controlType) const {
  for (uint32_t d = 0; d < description_.Destinations.size(); ++d) {
    const auto& destination = description_.Destinations[d];
    for (int32_t s = -1; s < static_cast<int32_t>(destination.Sources.size()); ++s) {
      const LineDescription* line = LineAt({d, s});
      if (line->ShortName != lineShortName) {
        continue;
      }
      uint32_t id = FirstControlId({d, s});
      for (const auto& c : line->Controls) {
        if (c.ControlType == controlType) {
          return id;
        }
        ++id;
      }
      return 0;
    }
  }
  return 0;
}

std::optional<bool> ModelMixer::GetSwitch(uint32_t controlId) {
  Note("GetSwitch", controlId, {});
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr) {
    return std::nullopt;
  }
  return c->Switch;
}

bool ModelMixer::SetSwitch(uint32_t controlId, bool value) {
  Note("SetSwitch", controlId, {value ? 1u : 0u});
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr) {
    return false;
  }
  c->Switch = value;
  return true;
}

std::optional<StereoValue> ModelMixer::GetStereo(uint32_t controlId, uint32_t channels) {
  Note("GetStereo", controlId, {channels});
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr) {
    return std::nullopt;
  }
  return c->Value;
}

bool ModelMixer::SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) {
  Note("SetStereo", controlId, {channels, value.Left, value.Right});
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr) {
    return false;
  }
  // One channel sets both sides alike, as a uniform write does.
  c->Value = channels == 1 ? StereoValue{value.Left, value.Left} : value;
  return true;
}

std::optional<std::vector<bool>> ModelMixer::GetItems(uint32_t controlId, uint32_t items) {
  Note("GetItems", controlId, {items});
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr || items != c->ItemSources.size()) {
    return std::nullopt;
  }
  std::vector<bool> selection = c->Selection;
  selection.resize(items, false);
  return selection;
}

bool ModelMixer::SetItems(uint32_t controlId, const std::vector<bool>& selection) {
  std::vector<uint32_t> values(selection.begin(), selection.end());
  Note("SetItems", controlId, values);
  ControlDescription* c = FindControl(controlId);
  if (c == nullptr || selection.size() != c->ItemSources.size()) {
    return false;
  }
  c->Selection = selection;
  return true;
}

MixerDescription Snapshot(Mixer& mixer) {
  MixerDescription copy;
  copy.Present = mixer.DeviceCount() > 0;
  if (!copy.Present) {
    return copy;
  }
  auto readLine = [&mixer](const MixerLine& line, const std::vector<MixerLine>& siblings) {
    LineDescription out;
    out.ComponentType = line.ComponentType;
    out.ShortName = line.ShortName;
    out.Channels = line.Channels;
    auto controls = mixer.LineControls(line.LineId);
    if (!controls) {
      return out;
    }
    for (const auto& c : *controls) {
      ControlDescription d;
      d.ControlType = c.ControlType;
      d.Minimum = c.Minimum;
      d.Maximum = c.Maximum;
      d.Uniform = c.Uniform;
      if (c.Items > 0) {
        auto items = mixer.ListItems(c);
        auto selection = mixer.GetItems(c.ControlId, c.Items);
        if (items) {
          for (size_t k = 0; k < items->size(); ++k) {
            for (uint32_t s = 0; s < siblings.size(); ++s) {
              if (siblings[s].LineId == (*items)[k].LineId) {
                d.ItemSources.push_back(s);
                d.Selection.push_back(selection && k < selection->size() && (*selection)[k]);
              }
            }
          }
        }
      } else if (c.ControlType == mixer_type::kMute) {
        d.Switch = mixer.GetSwitch(c.ControlId).value_or(false);
      } else {
        d.Value = mixer.GetStereo(c.ControlId, line.Channels).value_or(StereoValue{});
      }
      out.Controls.push_back(std::move(d));
    }
    return out;
  };
  const uint32_t destinations = mixer.DestinationCount();
  for (uint32_t d = 0; d < destinations; ++d) {
    auto line = mixer.LineByDestination(d);
    if (!line) {
      continue;
    }
    std::vector<MixerLine> sources;
    for (uint32_t s = 0; s < line->Connections; ++s) {
      if (auto source = mixer.LineBySource(d, s)) {
        sources.push_back(*source);
      }
    }
    DestinationDescription destination;
    destination.Line = readLine(*line, sources);
    for (const auto& source : sources) {
      destination.Sources.push_back(readLine(source, sources));
    }
    copy.Destinations.push_back(std::move(destination));
  }
  return copy;
}

}  // namespace velunda
