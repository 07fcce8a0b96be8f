#include "cli/live.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/tests_carte_son.hpp"
#include "platform/virtual/wav_u8.hpp"

namespace velunda {
namespace {

namespace fs = std::filesystem;

struct CardCase {
  const char* text;
  bool ok;
  bool isVirtual;
  const char* alsa;
  const char* input;
  const char* output;
};

TEST(LiveCardName, Forms) {
  const CardCase cases[] = {
      {"default", true, false, "default", "", ""},
      {"hw:1,0", true, false, "hw:1,0", "", ""},
      {"plughw:CARD=Intel", true, false, "plughw:CARD=Intel", "", ""},
      {"virtuelle:a.wav", true, true, "", "a.wav", ""},
      {"virtuelle:a.wav:b.wav", true, true, "", "a.wav", "b.wav"},
      {"virtuelle:", false, true, "", "", ""},
      {"virtuelle:a.wav:", false, true, "", "", ""},
      {"", false, false, "", "", ""},
  };
  for (const CardCase& c : cases) {
    CardChoice choice;
    std::string error;
    ASSERT_EQ(ParseCardName(c.text, choice, error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(choice.isVirtual, c.isVirtual) << c.text;
    EXPECT_EQ(choice.alsaDevice, c.alsa) << c.text;
    EXPECT_EQ(choice.virtualInput, c.input) << c.text;
    EXPECT_EQ(choice.virtualOutput, c.output) << c.text;
  }
}

// The launch's rate choice from the card test's two flags.
TEST(LiveSampleRate, ByKindAndMeasuredRates) {
  struct Case {
    const char* kind;
    uint8_t ok8000;
    uint8_t ok6250;
    int32_t rate;
  };
  const Case cases[] = {
      {"BFO_NUMERIQUE", 1, 1, 6250},      {"BFO_NUMERIQUE", 0, 1, 6250},
      {"BFO_NUMERIQUE", 1, 0, 8000},      {"BFO_NUMERIQUE", 0, 0, 0},
      {"PASSEBAS", 1, 0, 8000},           {"PASSEBAS", 0, 1, 11025},
      {"REJECTEUR_PAR_TFD", 0, 0, 11025}, {"REDUCTEUR_CW", 1, 1, 8000},
  };
  for (const Case& c : cases) {
    TestsCarteSonState tests;
    tests.Rate8000OK = c.ok8000;
    tests.Rate6250OK = c.ok6250;
    EXPECT_EQ(LiveSampleRate(c.kind, tests), c.rate)
        << c.kind << " " << int{c.ok8000} << int{c.ok6250};
  }
}

class LiveRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velunda-live-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs velunda-filtre with stdin from /dev/null; returns the exit status, stderr in `err`.
  int Run(std::vector<std::string> args, std::string& err) const {
    args.insert(args.begin(), VELUNDA_FILTRE);
    const std::string errPath = Path("stderr.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, STDIN_FILENO);
      const int out = ::open("/dev/null", O_WRONLY);
      ::dup2(out, STDOUT_FILENO);
      const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& a : args) {
        argv.push_back(a.data());
      }
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    std::ifstream f(errPath);
    err.assign(std::istreambuf_iterator<char>(f), {});
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  }

  fs::path dir_;
};

// The virtual card in real time, filter at "sans": the loudspeaker plays two silent blocks,
// then the line input byte for byte, from wherever the card tests left the looped recording.
TEST_F(LiveRun, VirtualCardPlaysTwoSilentBlocksThenTheInput) {
  std::vector<uint8_t> input(1001);
  uint32_t x = 7;
  for (uint8_t& s : input) {
    x = x * 1103515245u + 12345u;
    s = static_cast<uint8_t>(x >> 24);
  }
  ASSERT_TRUE(WriteWavU8(Path("in.wav"), input, 8000));
  std::string err;
  const int status = Run({"PASSEBAS", "--coupure", "sans", "--carte",
                          "virtuelle:" + Path("in.wav") + ":" + Path("out.wav"), "--duree", "1.5"},
                         err);
  ASSERT_EQ(status, 0) << err;
  std::vector<uint8_t> out;
  int32_t rate = 0;
  ASSERT_TRUE(ReadRecordingU8(Path("out.wav"), out, rate));
  EXPECT_EQ(rate, 8000);
  constexpr size_t kSilent = 2 * 2666;
  ASSERT_GT(out.size(), kSilent + 2 * input.size());  // the recording loops at least twice
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + kSilent),
            std::vector<uint8_t>(kSilent, 128));
  // Where in the loop the session's capture began: the 16 bytes that follow fix it.
  size_t offset = input.size();
  for (size_t k = 0; k < input.size() && offset == input.size(); ++k) {
    bool same = true;
    for (size_t i = 0; i < 16 && same; ++i) {
      same = out[kSilent + i] == input[(k + i) % input.size()];
    }
    offset = same ? k : offset;
  }
  ASSERT_LT(offset, input.size());
  for (size_t i = kSilent; i < out.size(); ++i) {
    ASSERT_EQ(out[i], input[(offset + i - kSilent) % input.size()]) << "sample " << i;
  }
}

// An ALSA name that reaches nothing: the start-up check refuses with its message.
TEST_F(LiveRun, NoSuchAlsaDeviceIsNoSoundCard) {
  std::string err;
  const int status = Run({"PASSEBAS", "--carte", "velunda_no_such_pcm"}, err);
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Fonctionnement impossible car il n'y a pas de carte son."), std::string::npos)
      << err;
}

}  // namespace
}  // namespace velunda
