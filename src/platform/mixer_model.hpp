#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/mixer.hpp"

namespace velunda {

// A mixer described as data: destinations, their sources, their controls and current values.
struct ControlDescription {
  uint32_t ControlType = 0;
  uint32_t Minimum = 0;
  uint32_t Maximum = 0;
  bool Uniform = false;
  std::vector<uint32_t> ItemSources;  // source lists: indices of sources of the same destination
  StereoValue Value;                  // faders and unsigned controls
  bool Switch = false;                // mute
  std::vector<bool> Selection;        // source lists, one per item
};

struct LineDescription {
  uint32_t ComponentType = 0;
  std::string ShortName;
  uint32_t Channels = 2;
  std::vector<ControlDescription> Controls;
};

struct DestinationDescription {
  LineDescription Line;
  std::vector<LineDescription> Sources;
};

struct MixerDescription {
  bool Present = true;  // false: the system has no mixer device
  std::vector<DestinationDescription> Destinations;
};

// Answers every structural query from a description. Line identifiers are
// ((destination + 1) << 16) | (source + 1), with source -1 for the destination itself; controls
// are numbered from 1 in description order. Values are kept in the description.
class ModelMixer : public Mixer {
 public:
  explicit ModelMixer(MixerDescription description);

  uint32_t DeviceCount() override;
  uint32_t DestinationCount() override;
  std::optional<MixerLine> LineByDestination(uint32_t destination) override;
  std::optional<MixerLine> LineByComponentType(uint32_t componentType) override;
  std::optional<MixerLine> LineById(uint32_t lineId) override;
  std::optional<MixerLine> LineBySource(uint32_t destination, uint32_t source) override;
  std::optional<std::vector<MixerControl>> LineControls(uint32_t lineId) override;
  std::optional<std::vector<MixerListItem>> ListItems(const MixerControl& control) override;

  std::optional<bool> GetSwitch(uint32_t controlId) override;
  bool SetSwitch(uint32_t controlId, bool value) override;
  std::optional<StereoValue> GetStereo(uint32_t controlId, uint32_t channels) override;
  bool SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) override;
  std::optional<std::vector<bool>> GetItems(uint32_t controlId, uint32_t items) override;
  bool SetItems(uint32_t controlId, const std::vector<bool>& selection) override;

  const MixerDescription& Description() const { return description_; }
  // The control with that identifier, or nullptr.
  ControlDescription* FindControl(uint32_t controlId);
  // Identifier of the first control of that type on the first line with that short name; 0 if none.
  uint32_t ControlIdOf(const std::string& lineShortName, uint32_t controlType) const;

 protected:
  // Every call made to the mixer passes here first.
  virtual void Note(const char* operation, uint32_t id, std::vector<uint32_t> values);

 private:
  struct LineRef {
    uint32_t destination;
    int32_t source;  // -1: the destination itself
  };
  const LineDescription* LineAt(LineRef ref) const;
  std::optional<LineRef> Resolve(uint32_t lineId) const;
  MixerLine Info(LineRef ref) const;
  uint32_t FirstControlId(LineRef ref) const;

  MixerDescription description_;
  std::vector<ControlDescription*> controls_;  // by identifier - 1
};

// Reads a whole mixer through its interface, values included: a copy to try settings on.
MixerDescription Snapshot(Mixer& mixer);

}  // namespace velunda
