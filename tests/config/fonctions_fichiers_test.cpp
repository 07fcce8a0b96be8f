#include "config/fonctions_fichiers.hpp"

#include <sys/stat.h>

#include "common/child.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

class TextFiles : public testing::InTempDir {};

// At most 1000 bytes, the text up to the first NUL; a failure shows its message.
TEST_F(TextFiles, ReadGivesTheTextBeforeTheFirstNulOrAMessage) {
  std::filesystem::create_directory("rep");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);  // not a regular file: unreadable, and no wait
  const struct {
    const char* name;
    std::string content;
    bool failed;
    std::string text;
    int32_t count;
    std::vector<std::string> messages;
  } cases[] = {
      {"f", "abc", false, "abc", 3, {}},
      {"f", std::string("ab\0cd", 5), false, "ab", 5, {}},
      {"f", std::string(1500, 'x'), false, std::string(1000, 'x'), 1000, {}},
      {"f", "", false, "", 0, {}},
      {"absent", "", true, "", 0, {"Impossible d'ouvrir le fichier absent en lecture."}},
      {"rep", "", true, "", 0, {"Impossible d'ouvrir le fichier rep en lecture."}},
      {"fifo", "", true, "", 0, {"Impossible d'ouvrir le fichier fifo en lecture."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.content.size()));
    if (std::string(c.name) == "f") {
      WriteFile("f", c.content);
    }
    RecordingMessageBox box;
    std::string text = "old";
    int32_t count = 7;
    EXPECT_EQ(ReadTextFile(c.name, text, count, box), c.failed);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(box.messages, c.messages);
  }
}

// The text up to its first NUL replaces the whole file; where no file can be created or
// replaced (whatever the rights, as root too), where the name leads to a device, or the disk is
// full, the message shows and the old file stays. (Links, modes and FIFOs are the safe file's,
// tested with it.)
TEST_F(TextFiles, WriteReplacesTheFileOrKeepsTheOldOne) {
  WriteFile("f", std::string(20, 'z'));
  WriteFile("plain", "old");
  WriteFile("full", "previous content");
  std::filesystem::create_symlink("/dev/null", "device");
  const std::string record("\x20\x01\x20\x20\x01\x20\x01", 7);
  const struct {
    const char* name;
    std::string text;
    rlim_t sizeLimit;     // 3 bytes fail the write the way a full disk does
    const char* message;  // none: written
  } cases[] = {
      {"f", record + std::string("\0xy", 3), 0, nullptr},
      {"plain/CONFVEL.SER", "abcdefg", 0,
       "Impossible d'ouvrir le fichier plain/CONFVEL.SER en écriture."},
      {"full", "abcdefg", 3, "Ecriture du texte impossible. Disque dur plein? "},
      {"device", "abcdefg", 0, "Impossible d'ouvrir le fichier device en écriture."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingMessageBox box;
    const bool failed =
        common::WithFileSizeLimit(c.sizeLimit, [&] { return WriteTextFile(c.name, c.text, box); });
    EXPECT_EQ(failed, c.message != nullptr);
    EXPECT_EQ(box.messages,
              c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
  }
  EXPECT_EQ(ReadFile("f"), record);
  EXPECT_EQ(ReadFile("plain"), "old");
  EXPECT_EQ(ReadFile("full"), "previous content");
  EXPECT_EQ(FileCount(), 4);
}

// As an unprivileged user, a writable file in a directory the user cannot write to is written
// in place: the configuration is saved where a replacement is impossible.
TEST_F(TextFiles, UnprivilegedWriteFallsBackToInPlace) {
  if (::getuid() != 0) {
    GTEST_SKIP() << "needs root to become nobody";
  }
  std::filesystem::create_directory("locked");
  WriteFile("locked/CONFVEL.SER", "0123456789");
  ASSERT_EQ(::chown("locked/CONFVEL.SER", common::kNobody, common::kNobody), 0);
  ::chmod("locked", 0555);
  const int status = common::RunInChild(
      [] {
        RecordingMessageBox box;
        return !WriteTextFile("locked/CONFVEL.SER", "abcdefg", box) && box.messages.empty() ? 0 : 1;
      },
      true);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile("locked/CONFVEL.SER"), "abcdefg");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("locked"), {}), 1);
}

}  // namespace
}  // namespace velunda
