#include "platform/pulse/pulse_mixer.hpp"

#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/server_mixer.hpp"

namespace velunda {
namespace {

constexpr auto kAnswerTime = std::chrono::seconds(2);  // a server that takes longer is gone

ServerVolumes Volumes(const pa_cvolume& v) {
  return ServerVolumes(v.values, v.values + v.channels);
}

pa_cvolume CVolume(const ServerVolumes& volumes) {
  pa_cvolume v;
  pa_cvolume_init(&v);
  v.channels = static_cast<uint8_t>(std::min<size_t>(volumes.size(), PA_CHANNELS_MAX));
  for (uint8_t c = 0; c < v.channels; ++c) {
    v.values[c] = volumes[c];
  }
  return v;
}

// One synchronous connection: each request runs the main loop until its answer.
class PulseServer final : public SoundServer {
 public:
  PulseServer() : loop_(pa_mainloop_new()) {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "velunda");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "io.github.velunda.velunda");
    context_ = pa_context_new_with_proplist(pa_mainloop_get_api(loop_), "velunda", props);
    pa_proplist_free(props);
  }
  ~PulseServer() override {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_mainloop_free(loop_);
  }
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool Connect() {
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return false;
    }
    RunUntil([this] { return !PA_CONTEXT_IS_GOOD(State()) || State() == PA_CONTEXT_READY; });
    return State() == PA_CONTEXT_READY;
  }

  std::optional<ServerSource> DefaultSource() override {
    std::string name;
    if (!Wait(pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* i, void* user) {
              if (i != nullptr && i->default_source_name != nullptr) {
                *static_cast<std::string*>(user) = i->default_source_name;
              }
            },
            &name)) ||
        name.empty()) {
      return std::nullopt;
    }
    std::optional<ServerSource> source;
    Wait(pa_context_get_source_info_by_name(
        context_, name.c_str(),
        [](pa_context*, const pa_source_info* i, int eol, void* user) {
          if (eol != 0 || i == nullptr) {
            return;
          }
          ServerSource s;
          s.Name = i->name;
          for (uint32_t k = 0; k < i->n_ports; ++k) {
            s.Ports.push_back({i->ports[k]->name, i->ports[k]->description});
          }
          s.ActivePort = i->active_port != nullptr ? i->active_port->name : "";
          s.Volumes = Volumes(i->volume);
          *static_cast<std::optional<ServerSource>*>(user) = std::move(s);
        },
        &source));
    return source;
  }

  bool SetSourceVolumes(const std::string& source, const ServerVolumes& volumes) override {
    const pa_cvolume v = CVolume(volumes);
    return Succeeds(pa_context_set_source_volume_by_name(context_, source.c_str(), &v, Done, &ok_));
  }

  bool SetSourcePort(const std::string& source, const std::string& port) override {
    return Succeeds(
        pa_context_set_source_port_by_name(context_, source.c_str(), port.c_str(), Done, &ok_));
  }

  std::optional<StreamLevel> OwnStreamLevel() override {
    const auto streams = OwnStreams();
    if (streams.empty()) {
      return std::nullopt;
    }
    return streams.front().second;
  }

  bool SetOwnStreamLevel(const StreamLevel& level) override {
    const pa_cvolume v = CVolume(level.Volumes);
    bool ok = true;
    for (const auto& stream : OwnStreams()) {
      ok = Succeeds(pa_context_set_sink_input_volume(context_, stream.first, &v, Done, &ok_)) && ok;
      ok = Succeeds(
               pa_context_set_sink_input_mute(context_, stream.first, level.Mute ? 1 : 0, Done, &ok_)) &&
           ok;
    }
    return ok;
  }

 private:
  pa_context_state_t State() const { return pa_context_get_state(context_); }

  template <typename Predicate>
  void RunUntil(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      if (pa_mainloop_prepare(loop_, 100000) < 0 || pa_mainloop_poll(loop_) < 0 ||
          pa_mainloop_dispatch(loop_) < 0) {
        return;
      }
    }
  }

  // Runs the loop until the request is answered; false when it could not be made or was dropped.
  bool Wait(pa_operation* operation) {
    if (operation == nullptr) {
      return false;
    }
    RunUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) {
      pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return done;
  }

  static void Done(pa_context*, int success, void* user) {
    *static_cast<bool*>(user) = success != 0;
  }

  bool Succeeds(pa_operation* operation) {
    ok_ = false;
    return Wait(operation) && ok_;
  }

  // The playback streams of this process, by index, with their level.
  std::vector<std::pair<uint32_t, StreamLevel>> OwnStreams() {
    struct Search {
      std::string pid = std::to_string(::getpid());
      std::vector<std::pair<uint32_t, StreamLevel>> found;
    } search;
    Wait(pa_context_get_sink_input_info_list(
        context_,
        [](pa_context*, const pa_sink_input_info* i, int eol, void* user) {
          auto* s = static_cast<Search*>(user);
          const char* pid = eol == 0 && i != nullptr
                                ? pa_proplist_gets(i->proplist, PA_PROP_APPLICATION_PROCESS_ID)
                                : nullptr;
          if (pid != nullptr && s->pid == pid) {
            s->found.push_back({i->index, StreamLevel{Volumes(i->volume), i->mute != 0}});
          }
        },
        &search));
    return search.found;
  }

  pa_mainloop* loop_;
  pa_context* context_ = nullptr;
  bool ok_ = false;
};

}  // namespace

std::unique_ptr<Mixer> OpenSoundServerMixer() {
  auto server = std::make_unique<PulseServer>();
  if (!server->Connect()) {
    return nullptr;
  }
  auto source = server->DefaultSource();
  if (!source) {
    return nullptr;
  }
  return std::make_unique<ServerMixer>(std::move(server), std::move(*source));
}

}  // namespace velunda
