#include "config/configuration.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "working_dir.hpp"

namespace velunda {
namespace {

using testing::InTempDir;

const std::string kDefault("\x20\x01\x20\x20\x01\x20\x01", 7);

std::string Record(uint8_t gain, uint8_t input, uint8_t mode, size_t length = 7) {
  std::string r(length, '#');
  r[1] = static_cast<char>(gain);
  r[4] = static_cast<char>(input);
  r[6] = static_cast<char>(mode);
  return r;
}

struct ValidityCase {
  const char* what;
  std::string content;
  bool valid;
};

class Validity : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(Validity, FollowsTheRule) {
  EXPECT_EQ(IsValidConfiguration(GetParam().content), GetParam().valid) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Records, Validity,
    ::testing::Values(ValidityCase{"default", kDefault, true},
                      ValidityCase{"ten bytes", Record(1, 1, 1, 10), true},
                      ValidityCase{"eleven bytes", Record(1, 1, 1, 11), false},
                      ValidityCase{"six bytes", Record(1, 1, 1).substr(0, 6), false},
                      ValidityCase{"empty", "", false},
                      ValidityCase{"digits",
                                   "\x20"
                                   "1\x20\x20"
                                   "1\x20"
                                   "1",
                                   false},
                      ValidityCase{"gain 3", Record(3, 1, 1), false},
                      ValidityCase{"gain 25", Record(25, 2, 1), true},
                      ValidityCase{"gain 5", Record(5, 3, 2), true},
                      ValidityCase{"gains 2 4 8", Record(2, 1, 1), true},
                      ValidityCase{"gain 4", Record(4, 1, 1), true},
                      ValidityCase{"gain 8", Record(8, 1, 1), true},
                      ValidityCase{"input 0", Record(1, 0, 1), false},
                      ValidityCase{"input 4", Record(1, 4, 1), false},
                      ValidityCase{"user mode", Record(1, 1, 2), true},
                      ValidityCase{"mode 3", Record(1, 1, 3), false},
                      ValidityCase{"NUL at 5", std::string("\x20\x01\x20\x20\x01\0\x01", 7), false},
                      ValidityCase{"NUL after 7", Record(1, 1, 1) + std::string(3, '\0'), true}));

// Records the apply calls and the record each one saw.
class RecordingApplier final : public SettingsApplier {
 public:
  explicit RecordingApplier(const ConfigurationState& config) : config_(config) {}
  void ApplyMixerMode() override { Note("mode"); }
  void ApplyInputSelection() override { Note("input"); }
  void ApplyInputGain() override { Note("gain"); }
  std::vector<std::string> calls;

 private:
  void Note(const char* what) {
    calls.push_back(what);
    EXPECT_TRUE(IsValidConfiguration(config_.Configuration)) << what;
  }
  const ConfigurationState& config_;
};

const std::vector<std::string> kApplyOrder = {"mode", "input", "gain"};
const char kMissing[] =
    "Pas de présence du fichier de configuration CONFVEL.SER, donc paramètres par défaut.";
const char kAltered[] =
    "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.";

ino_t InodeOf(const char* name) {
  struct stat st {};
  return ::stat(name, &st) == 0 ? st.st_ino : 0;
}

class Load : public InTempDir {
 protected:
  void Run() {
    RecordingApplier applier(config);
    LoadConfiguration(config, box, applier);
    EXPECT_EQ(applier.calls, kApplyOrder);
  }
  ConfigurationState config;
  RecordingMessageBox box;
};

TEST_F(Load, AcceptedFilesAreKeptAndNotRewritten) {
  const std::string accepted[] = {kDefault, Record(8, 3, 2, 10), Record(25, 2, 1)};
  for (const auto& content : accepted) {
    WriteFile("CONFVEL.SER", content);
    const ino_t before = InodeOf("CONFVEL.SER");
    Run();
    EXPECT_EQ(config.Configuration, content);
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(InodeOf("CONFVEL.SER"), before) << "rewritten";
  }
}

TEST_F(Load, AlteredFilesAreReplacedByTheDefaults) {
  const std::string altered[] = {
      "",
      Record(1, 1, 1, 11),
      std::string(5000, '\x01'),
      "\x20"
      "1\x20\x20"
      "1\x20"
      "1",
      Record(3, 1, 1),
      std::string("\x20\x01\x20\0\x01\x20\x01", 7),
  };
  for (const auto& content : altered) {
    box.messages.clear();
    WriteFile("CONFVEL.SER", content);
    Run();
    EXPECT_EQ(config.Configuration, kDefault);
    EXPECT_EQ(box.messages, std::vector<std::string>{kAltered});
    EXPECT_EQ(ReadFile("CONFVEL.SER"), kDefault);
  }
}

TEST_F(Load, MissingFileIsCreatedWithTheDefaults) {
  Run();
  EXPECT_EQ(config.Configuration, kDefault);
  EXPECT_EQ(box.messages, std::vector<std::string>{kMissing});
  EXPECT_EQ(ReadFile("CONFVEL.SER"), kDefault);
}

TEST_F(Load, UnreadableFileShowsBothMessagesThenTheWriteFailure) {
  // A directory in the file's place: it opens, cannot be read, and cannot be replaced.
  std::filesystem::create_directories("CONFVEL.SER/x");
  Run();
  EXPECT_EQ(config.Configuration, kDefault);
  EXPECT_EQ(box.messages,
            (std::vector<std::string>{"Erreur lors de la lecture du fichier CONFVEL.SER.", kAltered,
                                      "Impossible d'ouvrir le fichier CONFVEL.SER en écriture."}));
}

TEST_F(Load, UnwritableDirectoryKeepsTheDefaultsInMemory) {
  // As root, permission bits do not stop a write; a working directory that no longer exists does.
  std::filesystem::create_directory("gone");
  std::filesystem::current_path("gone");
  std::filesystem::remove(dir_ / "gone");
  Run();
  EXPECT_EQ(config.Configuration, kDefault);
  EXPECT_EQ(box.messages,
            (std::vector<std::string>{kMissing,
                                      "Impossible d'ouvrir le fichier CONFVEL.SER en écriture."}));
}

TEST_F(Load, SaveWritesTheRecordAsItIs) {
  config.Configuration = Record(4, 2, 2, 9);
  SaveConfiguration(config, box);
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(4, 2, 2, 9));
  EXPECT_TRUE(box.messages.empty());
}

}  // namespace
}  // namespace velunda
