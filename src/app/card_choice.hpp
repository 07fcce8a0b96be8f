#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace velunda {

class Clock;
class Mixer;
class SoundCard;

// The card that --carte names: an ALSA device, or "virtuelle:ENTREE[:SORTIE[:±Nppm]]" for the
// software card in real time (its input plays ENTREE in a loop, its loudspeaker goes to SORTIE,
// and to SORTIE-2, -3... for the other rates it plays; with ±Nppm the loudspeaker has its own
// clock, N parts per million off the input's). --entree and --sortie name two ALSA devices.
struct CardChoice {
  bool isVirtual = false;
  std::string alsaDevice;      // the device that captures (and plays, without playbackDevice)
  std::string playbackDevice;  // another ALSA device that plays; empty: alsaDevice
  std::string virtualInput;
  std::string virtualOutput;  // empty: the loudspeaker is not recorded
  int32_t virtualPpm = 0;     // the virtual loudspeaker's clock against its input's
  // Sessions run short blocks: an ALSA card then keeps less sound ahead of the loudspeaker.
  bool shortDelay = false;
};

// False with a French message, prefixed with the program's name, when the name cannot be used.
bool ParseCardName(const std::string& name, CardChoice& choice, std::string& error);

// The devices the options name: --carte for both directions; --entree and --sortie each name one
// direction in place of --carte's (a direction named by neither is "default"). The same name
// twice is one device, as --carte gives it. False with a French line.
bool ParseCardNames(const std::string& card, const std::string& input, const std::string& output,
                    CardChoice& choice, std::string& error);

// The card `choice` names. The virtual card's recording is read as offline mode reads it, at
// its file's rate (a raw .u8 at rawRate), given back in fileRate. Null with a French message
// when the recording cannot be read or the loudspeaker's recording could not be written, or when
// one of two devices is unknown or cannot go the way it is asked.
std::unique_ptr<SoundCard> OpenChosenCard(const CardChoice& choice, int32_t rawRate, Clock& clock,
                                          int32_t& fileRate, std::string& error);

// What the program does with the card's mixer: the window drives it; velunda-filtre leaves a
// real card's mixer to its user, so its level keys change only the numbers.
enum class MixerUse { Drive, LeaveAlone };

// The mixer of the card `choice` names: the virtual card's simulated one; for "default", "pulse"
// or "pipewire" with a sound server answering, the server's source and the program's stream;
// else the ALSA card's, or,
// when there is none (or it is left alone), a stand-in without controls. `notice` gets a French
// line when a mixer was wanted and could not be opened.
std::unique_ptr<Mixer> OpenCardMixer(const CardChoice& choice, MixerUse use,
                                     std::string* notice = nullptr);

// What --cartes prints: the capture and playback devices --carte can name.
std::string SoundDeviceListing();

// After a session: a French line naming the virtual loudspeaker's file when writing it failed
// (the close's error box carries only the number), else empty.
std::string SpeakerWriteProblem(SoundCard& card);

// After a session on two devices: a French line when their clocks lay too far apart for the
// resampling to follow, else empty.
std::string ClockProblem(SoundCard& card);
// A line saying the input lost sound during the session ("" if it lost none).
std::string CaptureLossProblem(SoundCard& card);

}  // namespace velunda
