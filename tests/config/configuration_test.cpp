#include "config/configuration.hpp"

#include <sys/stat.h>

#include "test_support.hpp"

namespace velunda {
namespace {

namespace fs = std::filesystem;

const std::string kDefault("\x20\x01\x20\x20\x01\x20\x01", 7);
const char kMissing[] =
    "Pas de présence du fichier de configuration CONFVEL.SER, donc paramètres par défaut.";
const char kAltered[] =
    "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.";
const char kCannotRead[] = "Impossible d'ouvrir le fichier CONFVEL.SER en lecture.";
const char kCannotWrite[] = "Impossible d'ouvrir le fichier CONFVEL.SER en écriture.";

// Records the apply calls, each of which must see a valid record.
class RecordingApplier final : public SettingsApplier {
 public:
  explicit RecordingApplier(const ConfigurationState& config) : config_(config) {}
  void ApplyMixerMode() override { Note("mode "); }
  void ApplyInputSelection() override { Note("input "); }
  void ApplyInputGain() override { Note("gain"); }
  std::string calls;

 private:
  void Note(const char* what) { calls += IsValidConfiguration(config_.Configuration) ? what : "?"; }
  const ConfigurationState& config_;
};

ino_t InodeOf(const char* name) {
  struct stat st {};
  return ::stat(name, &st) == 0 ? st.st_ino : 0;
}

class Load : public testing::InTempDir {
 protected:
  void Run() {
    box.messages.clear();
    RecordingApplier applier(config);
    LoadConfiguration(config, box, applier);
    EXPECT_EQ(applier.calls, "mode input gain");
  }
  ConfigurationState config;
  RecordingMessageBox box;
};

// A valid record (7 to 10 bytes before any NUL, gain code, input and mode in range) is used as
// it is and the file left untouched; anything else gives the default record, in memory and
// written back, with the message.
TEST_F(Load, KeepsValidRecordsAndReplacesAlteredOnes) {
  EXPECT_EQ(DefaultConfiguration(), kDefault);
  const struct {
    const char* what;
    std::string content;
    bool valid;
  } cases[] = {
      {"default", kDefault, true},
      {"ten bytes", Record(8, 3, 2, 10), true},
      {"gain 25", Record(25, 2, 1), true},
      {"gain 5", Record(5, 3, 2), true},
      {"gain 2", Record(2, 1, 1), true},
      {"gain 4", Record(4, 2, 1), true},
      {"NUL after 7", Record(1, 1, 1) + std::string(3, '\0'), true},
      {"empty", "", false},
      {"six bytes", Record(1, 1, 1).substr(0, 6), false},
      {"eleven bytes", Record(1, 1, 1, 11), false},
      {"digits", Record('1', '1', '1'), false},
      {"gain 3", Record(3, 1, 1), false},
      {"input 0", Record(1, 0, 1), false},
      {"input 4", Record(1, 4, 1), false},
      {"mode 3", Record(1, 1, 3), false},
      {"NUL at 3", std::string("\x20\x01\x20\0\x01\x20\x01", 7), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsValidConfiguration(c.content), c.valid);
    WriteFile("CONFVEL.SER", c.content);
    const ino_t before = InodeOf("CONFVEL.SER");
    Run();
    if (c.valid) {
      EXPECT_EQ(config.Configuration, c.content.substr(0, c.content.find('\0')));
      EXPECT_TRUE(box.messages.empty());
      EXPECT_EQ(InodeOf("CONFVEL.SER"), before) << "rewritten";
    } else {
      EXPECT_EQ(config.Configuration, kDefault);
      EXPECT_EQ(box.messages, std::vector<std::string>{kAltered});
      EXPECT_EQ(ReadFile("CONFVEL.SER"), kDefault);
    }
  }
}

// Missing, unreadable or unwritable: the defaults in memory, each message in order.
TEST_F(Load, MissingOrUnusableFileShowsItsMessages) {
  const struct {
    const char* what;
    void (*prepare)();
    std::vector<std::string> messages;
  } cases[] = {
      {"missing", [] {}, {kMissing}},
      // Not a regular file: unreadable, and not replaced (a FIFO without a reader does not
      // make the program wait).
      {"directory",
       [] { fs::create_directories("CONFVEL.SER/x"); },
       {kCannotRead, kAltered, kCannotWrite}},
      {"fifo", [] { ::mkfifo("CONFVEL.SER", 0644); }, {kCannotRead, kAltered, kCannotWrite}},
      // As root, permission bits do not stop a write; a working directory that no longer
      // exists does.
      {"directory gone",
       [] {
         fs::create_directory("gone");
         fs::current_path("gone");
         fs::remove(fs::current_path());
       },
       {kMissing, kCannotWrite}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::current_path(dir_);
    fs::create_directory(c.what);
    fs::current_path(c.what);
    c.prepare();
    Run();
    EXPECT_EQ(config.Configuration, kDefault);
    EXPECT_EQ(box.messages, c.messages);
    if (c.messages.back() != kCannotWrite) {
      EXPECT_EQ(ReadFile("CONFVEL.SER"), kDefault);
    }
  }
}

// The settings file: --config, else CONFVEL.SER of the working directory when there (even a link
// to a file not made yet), else XDG_CONFIG_HOME's (HOME's .config when unset or relative).
TEST_F(Load, SettingsFileIsChosenOnceFromTheEnvironment) {
  const struct {
    const char* what;
    const char* given;
    bool here;
    ConfigurationEnvironment environment;
    std::string file;
  } cases[] = {
      {"given", "r.ser", false, {"/h", "/x"}, "r.ser"},
      {"here", "", true, {"/h", "/x"}, "CONFVEL.SER"},
      {"xdg", "", false, {"/h", "/x"}, "/x/velunda/CONFVEL.SER"},
      {"home", "", false, {"/h", ""}, "/h/.config/velunda/CONFVEL.SER"},
      {"relative xdg", "", false, {"/h", "x"}, "/h/.config/velunda/CONFVEL.SER"},
      {"no home", "", false, {"", ""}, "CONFVEL.SER"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove("CONFVEL.SER");
    if (c.here) {
      fs::create_symlink("nowhere", "CONFVEL.SER");
    }
    ChooseConfigurationFile(config, c.given, c.environment);
    EXPECT_EQ(config.File, c.file);
  }
}

// A new folder is made 0700 (parents too) at the first write; one that exists keeps its mode.
// The messages name the file.
TEST_F(Load, XdgFolderIsMadeAndMessagesNameTheFile) {
  fs::create_directory("home");
  ::chmod("home", 0751);
  ChooseConfigurationFile(config, "", {(dir_ / "home").string(), ""});
  const std::string file = (dir_ / "home/.config/velunda/CONFVEL.SER").string();
  Run();
  EXPECT_EQ(box.messages, std::vector<std::string>{"Pas de présence du fichier de configuration " +
                                                   file + ", donc paramètres par défaut."});
  EXPECT_EQ(ReadFile(file), kDefault);
  for (const auto& [folder, mode] :
       {std::pair{"home", 0751}, {"home/.config", 0700}, {"home/.config/velunda", 0700}}) {
    struct stat st {};
    EXPECT_EQ(::stat(folder, &st), 0);
    EXPECT_EQ(static_cast<int>(st.st_mode & 07777), mode) << folder;
  }
  WriteFile(file, "abc");
  Run();
  EXPECT_EQ(box.messages, std::vector<std::string>{"Le fichier de configuration " + file +
                                                   " est altéré, donc paramètres par défaut."});
}

}  // namespace
}  // namespace velunda
