#include "config/fonctions_fichiers.hpp"

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "working_dir.hpp"

namespace velunda {
namespace {

using testing::InTempDir;

class TextFiles : public InTempDir {};

TEST_F(TextFiles, ReadsAtMostAThousandBytesUpToTheFirstNul) {
  struct Case {
    std::string content;
    std::string text;
    int32_t count;
  };
  const Case cases[] = {
      {"abc", "abc", 3},
      {std::string("ab\0cd", 5), "ab", 5},
      {std::string(1500, 'x'), std::string(1000, 'x'), 1000},
      {"", "", 0},
  };
  for (const auto& c : cases) {
    WriteFile("f", c.content);
    RecordingMessageBox box;
    std::string text = "old";
    int32_t count = 0;
    EXPECT_FALSE(ReadTextFile("f", text, count, box));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(count, c.count);
    EXPECT_TRUE(box.messages.empty());
  }
}

TEST_F(TextFiles, ReadFailuresShowTheirMessage) {
  std::filesystem::create_directory("rep");
  struct Case {
    std::string name;
    std::string message;
    int32_t count;
  };
  const Case cases[] = {
      {"absent", "Impossible d'ouvrir le fichier absent en lecture.", 0},
      // A directory opens but cannot be read.
      {"rep", "Erreur lors de la lecture du fichier rep.", -1},
  };
  for (const auto& c : cases) {
    RecordingMessageBox box;
    std::string text = "old";
    int32_t count = 0;
    EXPECT_TRUE(ReadTextFile(c.name, text, count, box));
    EXPECT_EQ(text, "");
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(box.messages, std::vector<std::string>{c.message});
  }
}

TEST_F(TextFiles, ExistenceIsWhetherTheFileOpens) {
  WriteFile("present", "x");
  EXPECT_TRUE(TextFileExists("present"));
  EXPECT_FALSE(TextFileExists("absent"));
}

TEST_F(TextFiles, WriteReplacesTheWholeFileUpToTheFirstNul) {
  WriteFile("f", std::string(20, 'z'));
  RecordingMessageBox box;
  EXPECT_FALSE(WriteTextFile("f", std::string("\x20\x01\x20\x20\x01\x20\x01\0xy", 10), box));
  EXPECT_EQ(ReadFile("f"), std::string("\x20\x01\x20\x20\x01\x20\x01", 7));
  EXPECT_TRUE(box.messages.empty());
  // Nothing but the file itself is left in the directory.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1);
}

TEST_F(TextFiles, UnwritablePlacesShowTheOpenMessageAndKeepTheOldFile) {
  // Running as root, permission bits would not stop a write: use places where no file can be
  // created or replaced whatever the rights.
  WriteFile("plain", "old");
  std::filesystem::create_directories("CONFVEL.SER/inside");
  struct Case {
    std::string name;
  };
  const Case cases[] = {
      {"plain/CONFVEL.SER"},  // parent is a regular file
      {"CONFVEL.SER"},        // a directory stands where the file goes
  };
  for (const auto& c : cases) {
    RecordingMessageBox box;
    EXPECT_TRUE(WriteTextFile(c.name, "abcdefg", box));
    EXPECT_EQ(box.messages, std::vector<std::string>{"Impossible d'ouvrir le fichier " + c.name +
                                                     " en écriture."});
  }
  EXPECT_EQ(ReadFile("plain"), "old");
  EXPECT_TRUE(std::filesystem::is_directory("CONFVEL.SER/inside"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2);
}

TEST_F(TextFiles, FullDiskShowsItsMessageAndKeepsTheOldFile) {
  WriteFile("CONFVEL.SER", "previous content");
  // A file size limit of 3 bytes fails the write the way a full disk does.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 3;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  RecordingMessageBox box;
  const bool failed = WriteTextFile("CONFVEL.SER", "abcdefg", box);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);

  EXPECT_TRUE(failed);
  EXPECT_EQ(box.messages,
            std::vector<std::string>{"Ecriture du texte impossible. Disque dur plein? "});
  EXPECT_EQ(ReadFile("CONFVEL.SER"), "previous content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1);
}

}  // namespace
}  // namespace velunda
