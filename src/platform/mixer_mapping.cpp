#include "platform/mixer_mapping.hpp"

#include <algorithm>
#include <optional>

namespace velunda {

namespace mt = mixer_type;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsLineName(const std::string& n) {
  return n == "Line" || n == "Line-In" || n.rfind("Line In", 0) == 0;
}

bool IsMicName(const std::string& n) {
  return n == "Mic" || n == "Microphone" || EndsWith(n, " Mic");
}

bool IsAuxName(const std::string& n) {
  static const char* const kNames[] = {"Aux",   "Aux In", "CD", "Video",
                                       "Phone", "Synth",  "FM", "Line2"};
  return std::any_of(std::begin(kNames), std::end(kNames), [&n](const char* k) { return n == k; });
}

bool IsGainName(const std::string& n) {
  return EndsWith(n, " Boost") || n == "Capture Gain" || n == "Mic Gain";
}

uint32_t SourceType(const std::string& n) {
  if (IsLineName(n)) {
    return mt::kSrcLine;
  }
  if (IsMicName(n)) {
    return mt::kSrcMicrophone;
  }
  return mt::kSrcAuxiliary;
}

uint32_t Range(long minimum, long maximum) {
  return maximum > minimum ? static_cast<uint32_t>(maximum - minimum) : 0;
}

// A line under construction with the binding of each of its controls.
struct Built {
  LineDescription Line;
  std::vector<AlsaBinding> Bindings;

  void Add(uint32_t type, uint32_t maximum, AlsaBinding binding) {
    ControlDescription c;
    c.ControlType = type;
    c.Maximum = maximum;
    c.Uniform = type == mt::kMute;
    Line.Controls.push_back(c);
    Bindings.push_back(std::move(binding));
  }
};

struct BuiltDestination {
  Built Line;
  std::vector<Built> Sources;
};

Built PlaybackLine(uint32_t type, const AlsaElement& e, size_t index) {
  Built b;
  b.Line.ComponentType = type;
  b.Line.ShortName = e.Name;
  b.Line.Channels = e.PlaybackMono ? 1 : 2;
  if (e.PlaybackVolume) {
    b.Add(mt::kVolume, Range(e.PlaybackMin, e.PlaybackMax),
          {AlsaAccess::PlaybackVolume, index, e.PlaybackMin, {}});
  }
  if (e.PlaybackSwitch) {
    b.Add(mt::kMute, 1, {AlsaAccess::PlaybackMute, index, 0, {}});
  }
  return b;
}

std::optional<size_t> Find(const std::vector<AlsaElement>& elements,
                           bool (*match)(const AlsaElement&)) {
  for (size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].Index == 0 && match(elements[i])) {
      return i;
    }
  }
  return std::nullopt;
}

bool HasPlayback(const AlsaElement& e) { return e.PlaybackVolume || e.PlaybackSwitch; }

std::optional<BuiltDestination> Playback(const std::vector<AlsaElement>& elements) {
  std::optional<size_t> master;
  for (const char* name : {"Master", "Speaker", "Headphone"}) {
    for (size_t i = 0; i < elements.size() && !master; ++i) {
      if (elements[i].Index == 0 && elements[i].Name == name && HasPlayback(elements[i])) {
        master = i;
      }
    }
  }
  BuiltDestination d;
  if (master) {
    d.Line = PlaybackLine(mt::kDstSpeakers, elements[*master], *master);
    for (size_t i = 0; i < elements.size(); ++i) {
      const auto& e = elements[i];
      const bool bass = e.Name == "Bass" || e.Name == "Tone Control - Bass";
      const bool treble = e.Name == "Treble" || e.Name == "Tone Control - Treble";
      if (e.Index == 0 && e.PlaybackVolume && (bass || treble)) {
        d.Line.Add(bass ? mt::kBass : mt::kTreble, Range(e.PlaybackMin, e.PlaybackMax),
                   {AlsaAccess::PlaybackVolume, i, e.PlaybackMin, {}});
      }
    }
  } else {
    // No master: the playback sources still exist, under a destination of no known kind.
    d.Line.Line.ComponentType = 0;
    d.Line.Line.ShortName = "Lecture";
  }
  for (size_t i = 0; i < elements.size(); ++i) {
    const auto& e = elements[i];
    if (e.Index != 0 || !HasPlayback(e)) {
      continue;
    }
    if (e.Name == "PCM") {
      d.Sources.push_back(PlaybackLine(mt::kSrcWaveOut, e, i));
    } else if (IsLineName(e.Name) || IsMicName(e.Name) || IsAuxName(e.Name)) {
      d.Sources.push_back(PlaybackLine(SourceType(e.Name), e, i));
    }
  }
  if (!master && d.Sources.empty()) {
    return std::nullopt;
  }
  return d;
}

std::optional<BuiltDestination> Recording(const std::vector<AlsaElement>& elements) {
  BuiltDestination d;
  d.Line.Line.ComponentType = mt::kDstWaveIn;
  d.Line.Line.ShortName = "Capture";
  bool any = false;

  const auto capture = Find(elements, [](const AlsaElement& e) {
    return e.Name == "Capture" && (e.CaptureVolume || e.CaptureSwitch);
  });
  if (capture) {
    const auto& e = elements[*capture];
    any = true;
    d.Line.Line.Channels = e.CaptureMono ? 1 : 2;
    if (e.CaptureVolume) {
      d.Line.Add(mt::kVolume, Range(e.CaptureMin, e.CaptureMax),
                 {AlsaAccess::CaptureVolume, *capture, e.CaptureMin, {}});
    }
    if (e.CaptureSwitch) {
      d.Line.Add(mt::kMute, 1, {AlsaAccess::CaptureMute, *capture, 0, {}});
    }
  }

  // Sources: every other element that captures, with its capture volume.
  AlsaBinding switches{AlsaAccess::CaptureSwitchList, 0, 0, {}};
  ControlDescription switchList;
  bool exclusive = false;
  for (size_t i = 0; i < elements.size(); ++i) {
    const auto& e = elements[i];
    if (e.Index != 0 || e.Name == "Capture" || IsGainName(e.Name) || e.CaptureEnum ||
        !(e.CaptureVolume || e.CaptureSwitch)) {
      continue;
    }
    any = true;
    Built source;
    source.Line.ComponentType = SourceType(e.Name);
    source.Line.ShortName = e.Name;
    source.Line.Channels = e.CaptureMono ? 1 : 2;
    if (e.CaptureVolume) {
      source.Add(mt::kVolume, Range(e.CaptureMin, e.CaptureMax),
                 {AlsaAccess::CaptureVolume, i, e.CaptureMin, {}});
    }
    if (e.CaptureSwitch) {
      switchList.ItemSources.push_back(static_cast<uint32_t>(d.Sources.size()));
      switches.ItemElements.push_back(i);
      exclusive = exclusive || e.CaptureSwitchExclusive;
    }
    d.Sources.push_back(std::move(source));
  }
  if (!switchList.ItemSources.empty()) {
    switchList.ControlType = exclusive ? mt::kMux : mt::kMixer;
    switchList.Maximum = 1;
    switchList.Uniform = true;
    d.Line.Line.Controls.push_back(switchList);
    d.Line.Bindings.push_back(switches);
  }

  // An enumerated capture source: one source line per entry, sharing the capture volume.
  const auto source =
      Find(elements, [](const AlsaElement& e) { return e.CaptureEnum && !e.EnumItems.empty(); });
  if (source) {
    any = true;
    ControlDescription list;
    list.ControlType = mt::kMux;
    list.Maximum = 1;
    list.Uniform = true;
    for (const auto& item : elements[*source].EnumItems) {
      auto found = std::find_if(d.Sources.begin(), d.Sources.end(),
                                [&item](const Built& b) { return b.Line.ShortName == item; });
      if (found == d.Sources.end()) {
        Built line;
        line.Line.ComponentType = SourceType(item);
        line.Line.ShortName = item;
        if (capture && elements[*capture].CaptureVolume) {
          const auto& e = elements[*capture];
          line.Line.Channels = e.CaptureMono ? 1 : 2;
          line.Add(mt::kVolume, Range(e.CaptureMin, e.CaptureMax),
                   {AlsaAccess::CaptureVolume, *capture, e.CaptureMin, {}});
        }
        d.Sources.push_back(std::move(line));
        found = d.Sources.end() - 1;
      }
      list.ItemSources.push_back(static_cast<uint32_t>(found - d.Sources.begin()));
    }
    d.Line.Line.Controls.push_back(list);
    d.Line.Bindings.push_back({AlsaAccess::CaptureEnumList, *source, 0, {}});
  }

  // Gain: boost elements, as unsigned controls of the recording destination.
  for (size_t i = 0; i < elements.size(); ++i) {
    const auto& e = elements[i];
    if (e.Index != 0 || !IsGainName(e.Name)) {
      continue;
    }
    if (e.CaptureVolume && e.CaptureMax > e.CaptureMin) {
      d.Line.Add(mt::kUnsigned, Range(e.CaptureMin, e.CaptureMax),
                 {AlsaAccess::CaptureVolume, i, e.CaptureMin, {}});
      any = true;
    } else if (e.PlaybackVolume && e.PlaybackMax > e.PlaybackMin) {
      d.Line.Add(mt::kUnsigned, Range(e.PlaybackMin, e.PlaybackMax),
                 {AlsaAccess::PlaybackVolume, i, e.PlaybackMin, {}});
      any = true;
    }
  }
  if (!any) {
    return std::nullopt;
  }
  return d;
}

void Append(MappedMixer& mapped, BuiltDestination built) {
  DestinationDescription d;
  d.Line = std::move(built.Line.Line);
  for (auto& b : built.Line.Bindings) {
    mapped.Bindings.push_back(std::move(b));
  }
  for (auto& source : built.Sources) {
    d.Sources.push_back(std::move(source.Line));
    for (auto& b : source.Bindings) {
      mapped.Bindings.push_back(std::move(b));
    }
  }
  mapped.Model.Destinations.push_back(std::move(d));
}

}  // namespace

MappedMixer MapAlsaElements(const std::vector<AlsaElement>& elements) {
  MappedMixer mapped;
  mapped.Model.Present = true;
  if (auto playback = Playback(elements)) {
    Append(mapped, std::move(*playback));
  }
  if (auto recording = Recording(elements)) {
    Append(mapped, std::move(*recording));
  }
  return mapped;
}

}  // namespace velunda
