#include "platform/alsa/alsa_mixer.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/alsa/alsa_quiet.hpp"
#include "platform/mixer_mapping.hpp"
#include "platform/mixer_model.hpp"

namespace velunda {

namespace {

AlsaElement Describe(snd_mixer_elem_t* e) {
  AlsaElement d;
  d.Name = snd_mixer_selem_get_name(e);
  d.Index = snd_mixer_selem_get_index(e);
  d.PlaybackVolume = snd_mixer_selem_has_playback_volume(e) != 0;
  d.PlaybackSwitch = snd_mixer_selem_has_playback_switch(e) != 0;
  d.CaptureVolume = snd_mixer_selem_has_capture_volume(e) != 0;
  d.CaptureSwitch = snd_mixer_selem_has_capture_switch(e) != 0;
  d.CaptureSwitchExclusive = d.CaptureSwitch && snd_mixer_selem_has_capture_switch_exclusive(e);
  d.PlaybackMono = snd_mixer_selem_is_playback_mono(e) != 0;
  d.CaptureMono = snd_mixer_selem_is_capture_mono(e) != 0;
  if (d.PlaybackVolume) {
    snd_mixer_selem_get_playback_volume_range(e, &d.PlaybackMin, &d.PlaybackMax);
  }
  if (d.CaptureVolume) {
    snd_mixer_selem_get_capture_volume_range(e, &d.CaptureMin, &d.CaptureMax);
  }
  if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
    d.CaptureEnum = true;
    const int count = snd_mixer_selem_get_enum_items(e);
    for (int i = 0; i < count; ++i) {
      char name[64] = {};
      if (snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(i), sizeof name - 1, name) ==
          0) {
        d.EnumItems.emplace_back(name);
      }
    }
  }
  return d;
}

class AlsaMixer final : public ModelMixer {
 public:
  AlsaMixer(snd_mixer_t* handle, std::vector<snd_mixer_elem_t*> elements, MappedMixer mapped)
      : ModelMixer(std::move(mapped.Model)),
        handle_(handle),
        elements_(std::move(elements)),
        bindings_(std::move(mapped.Bindings)) {}
  ~AlsaMixer() override { snd_mixer_close(handle_); }
  AlsaMixer(const AlsaMixer&) = delete;
  AlsaMixer& operator=(const AlsaMixer&) = delete;

  std::optional<bool> GetSwitch(uint32_t controlId) override {
    const AlsaBinding* b = Binding(controlId);
    if (b == nullptr) {
      return std::nullopt;
    }
    int on = 0;
    snd_mixer_elem_t* e = elements_[b->Element];
    const int err = b->Access == AlsaAccess::PlaybackMute
                        ? snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on)
                        : snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
    if (err < 0) {
      return std::nullopt;
    }
    return on == 0;  // muted when the switch is off
  }

  bool SetSwitch(uint32_t controlId, bool value) override {
    const AlsaBinding* b = Binding(controlId);
    if (b == nullptr) {
      return false;
    }
    snd_mixer_elem_t* e = elements_[b->Element];
    const int on = value ? 0 : 1;
    return (b->Access == AlsaAccess::PlaybackMute
                ? snd_mixer_selem_set_playback_switch_all(e, on)
                : snd_mixer_selem_set_capture_switch_all(e, on)) >= 0;
  }

  std::optional<StereoValue> GetStereo(uint32_t controlId, uint32_t) override {
    const AlsaBinding* b = Binding(controlId);
    if (b == nullptr || !IsVolume(*b)) {
      return std::nullopt;
    }
    snd_mixer_elem_t* e = elements_[b->Element];
    const bool playback = b->Access == AlsaAccess::PlaybackVolume;
    long left = 0;
    long right = 0;
    auto get = [&](snd_mixer_selem_channel_id_t channel, long* value) {
      return playback ? snd_mixer_selem_get_playback_volume(e, channel, value)
                      : snd_mixer_selem_get_capture_volume(e, channel, value);
    };
    if (get(SND_MIXER_SCHN_FRONT_LEFT, &left) < 0) {
      return std::nullopt;
    }
    const bool mono =
        playback ? snd_mixer_selem_is_playback_mono(e) : snd_mixer_selem_is_capture_mono(e);
    if (mono || get(SND_MIXER_SCHN_FRONT_RIGHT, &right) < 0) {
      right = left;
    }
    return StereoValue{Raw(left - b->Offset), Raw(right - b->Offset)};
  }

  bool SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) override {
    const AlsaBinding* b = Binding(controlId);
    ControlDescription* c = FindControl(controlId);
    if (b == nullptr || c == nullptr || !IsVolume(*b)) {
      return false;
    }
    snd_mixer_elem_t* e = elements_[b->Element];
    const bool playback = b->Access == AlsaAccess::PlaybackVolume;
    auto alsa = [&](uint32_t raw) {
      return b->Offset + static_cast<long>(std::min(raw, c->Maximum));
    };
    const bool mono =
        playback ? snd_mixer_selem_is_playback_mono(e) : snd_mixer_selem_is_capture_mono(e);
    if (channels == 1 || mono) {
      return (playback ? snd_mixer_selem_set_playback_volume_all(e, alsa(value.Left))
                       : snd_mixer_selem_set_capture_volume_all(e, alsa(value.Left))) >= 0;
    }
    auto set = [&](snd_mixer_selem_channel_id_t channel, long v) {
      return playback ? snd_mixer_selem_set_playback_volume(e, channel, v)
                      : snd_mixer_selem_set_capture_volume(e, channel, v);
    };
    const int l = set(SND_MIXER_SCHN_FRONT_LEFT, alsa(value.Left));
    const int r = set(SND_MIXER_SCHN_FRONT_RIGHT, alsa(value.Right));
    return l >= 0 && r >= 0;
  }

  std::optional<std::vector<bool>> GetItems(uint32_t controlId, uint32_t items) override {
    const AlsaBinding* b = Binding(controlId);
    if (b == nullptr) {
      return std::nullopt;
    }
    std::vector<bool> selection(items, false);
    if (b->Access == AlsaAccess::CaptureSwitchList) {
      for (size_t k = 0; k < items && k < b->ItemElements.size(); ++k) {
        int on = 0;
        snd_mixer_selem_get_capture_switch(elements_[b->ItemElements[k]], SND_MIXER_SCHN_FRONT_LEFT,
                                           &on);
        selection[k] = on != 0;
      }
      return selection;
    }
    if (b->Access == AlsaAccess::CaptureEnumList) {
      unsigned item = 0;
      if (snd_mixer_selem_get_enum_item(elements_[b->Element], SND_MIXER_SCHN_FRONT_LEFT, &item) <
          0) {
        return std::nullopt;
      }
      if (item < items) {
        selection[item] = true;
      }
      return selection;
    }
    return std::nullopt;
  }

  bool SetItems(uint32_t controlId, const std::vector<bool>& selection) override {
    const AlsaBinding* b = Binding(controlId);
    if (b == nullptr) {
      return false;
    }
    if (b->Access == AlsaAccess::CaptureSwitchList) {
      bool ok = true;
      for (size_t k = 0; k < selection.size() && k < b->ItemElements.size(); ++k) {
        ok = snd_mixer_selem_set_capture_switch_all(elements_[b->ItemElements[k]],
                                                    selection[k] ? 1 : 0) >= 0 &&
             ok;
      }
      return ok;
    }
    if (b->Access == AlsaAccess::CaptureEnumList) {
      // A single-select list takes its first selected entry.
      auto first = std::find(selection.begin(), selection.end(), true);
      if (first == selection.end()) {
        return true;
      }
      const auto item = static_cast<unsigned>(first - selection.begin());
      return snd_mixer_selem_set_enum_item(elements_[b->Element], SND_MIXER_SCHN_FRONT_LEFT,
                                           item) >= 0;
    }
    return false;
  }

 private:
  static bool IsVolume(const AlsaBinding& b) {
    return b.Access == AlsaAccess::PlaybackVolume || b.Access == AlsaAccess::CaptureVolume;
  }
  static uint32_t Raw(long v) { return v > 0 ? static_cast<uint32_t>(v) : 0; }
  const AlsaBinding* Binding(uint32_t controlId) const {
    if (controlId == 0 || controlId > bindings_.size()) {
      return nullptr;
    }
    return &bindings_[controlId - 1];
  }

  snd_mixer_t* handle_;
  std::vector<snd_mixer_elem_t*> elements_;
  std::vector<AlsaBinding> bindings_;
};

}  // namespace

std::unique_ptr<Mixer> OpenAlsaMixer(const std::string& card) {
  snd_mixer_t* handle = nullptr;
  SilenceAlsaLib();
  if (snd_mixer_open(&handle, 0) < 0) {
    return nullptr;
  }
  if (snd_mixer_attach(handle, card.c_str()) < 0 ||
      snd_mixer_selem_register(handle, nullptr, nullptr) < 0 || snd_mixer_load(handle) < 0) {
    snd_mixer_close(handle);
    return nullptr;
  }
  std::vector<snd_mixer_elem_t*> elements;
  std::vector<AlsaElement> descriptions;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(handle); e != nullptr;
       e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) {
      continue;
    }
    elements.push_back(e);
    descriptions.push_back(Describe(e));
  }
  return std::make_unique<AlsaMixer>(handle, std::move(elements), MapAlsaElements(descriptions));
}

}  // namespace velunda
