// velunda-filtre live with its screen on a terminal: key sequences typed into a
// pseudo-terminal, the screen read back; and the one-line-per-change log when stdout is a file.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <sstream>

#include "cli/live.hpp"
#include "cli/terminal_screen.hpp"
#include "cli/test_support.hpp"
#include "common/signals.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

using testing::Bytes;

// velunda-filtre on the slave side of a pseudo-terminal of 100 columns, as its controlling
// terminal; the test types on the master side and reads what is shown.
class PtyRun {
 public:
  PtyRun(const std::string& dir, std::vector<std::string> args) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    ::grantpt(master_);
    ::unlockpt(master_);
    const std::string slave = ::ptsname(master_);
    const winsize size{30, 100, 0, 0};
    ::ioctl(master_, TIOCSWINSZ, &size);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setsid();
      const int fd = ::open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
      ::dup2(fd, 0);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      if (::chdir(dir.c_str()) != 0) {
        ::_exit(127);
      }
      testing::ExecFiltre(args);
    }
  }
  ~PtyRun() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(master_);
  }

  void Type(const std::string& keys) {
    EXPECT_EQ(::write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Reads until `text` is shown (see Text()), or fails.
  bool WaitFor(const std::string& text, int seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (Text().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !Read(100)) {
        ADD_FAILURE() << "never shown: " << text << "\n" << Text();
        return false;
      }
    }
    return true;
  }

  int Exit() {
    while (Read(100)) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Everything shown, without escape sequences and carriage returns, runs of spaces as one.
  std::string Text() const {
    std::string t;
    for (size_t i = 0; i < raw_.size(); ++i) {
      if (raw_[i] == '\x1b' && i + 1 < raw_.size() && raw_[i + 1] == '[') {
        i += 2;
        while (i < raw_.size() && !std::isalpha(static_cast<unsigned char>(raw_[i]))) {
          ++i;
        }
      } else if (raw_[i] != '\r' && !(raw_[i] == ' ' && !t.empty() && t.back() == ' ')) {
        t += raw_[i];
      }
    }
    return t;
  }
  // The lines of the screen drawn last.
  std::string LastScreen() const {
    const std::string t = Text();
    const size_t at = t.rfind("TOUCHES");
    return at == std::string::npos ? "" : t.substr(at);
  }

 private:
  // False at the end of the output.
  bool Read(int ms) {
    pollfd pfd{master_, POLLIN, 0};
    if (::poll(&pfd, 1, ms) < 0) {
      return false;
    }
    if (pfd.revents == 0) {
      return true;
    }
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) {
      return false;
    }
    raw_.append(buf, static_cast<size_t>(n));
    return true;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  bool waited_ = false;
  std::string raw_;
};

constexpr char kRight[] = "\x1b[C";
constexpr char kLeft[] = "\x1b[D";
constexpr char kUp[] = "\x1b[A";
constexpr char kEnd[] = "\x1b[F";

class TerminalSession : public testing::WorkDir {};

// Keys typed while a session runs reach its loop: the cells change in place, then the end key
// ends the session. (What each key does to each screen is the session model's, tested there;
// the decoding of every key sequence is the key decoder's.)
struct KeyRow {
  std::string name;
  std::vector<std::string> args;
  std::string shown;  // before the keys
  std::string keys;
  std::string after;
  std::vector<std::string> screen = {};  // also on the screen drawn last
  std::string end = kEnd;
  friend void PrintTo(const KeyRow& row, std::ostream* os) { *os << row.name; }
};

class TerminalScreenKeys : public ::testing::WithParamInterface<KeyRow>, public testing::WorkDir {};

TEST_P(TerminalScreenKeys, ChangeTheirCell) {
  const KeyRow& row = GetParam();
  WriteBytes("in.u8", common::Tone(700, 8000, 8000));
  std::vector<std::string> args = row.args;
  args.insert(args.end(), {"--carte", "virtuelle:in.u8"});
  PtyRun run(dir_.string(), args);
  ASSERT_TRUE(run.WaitFor("en marche"));  // keys typed from here on reach the session's loop
  ASSERT_TRUE(run.WaitFor(row.shown));
  run.Type(row.keys);
  ASSERT_TRUE(run.WaitFor(row.after));
  const std::string screen = run.LastScreen();
  for (const std::string& line : row.screen) {
    EXPECT_NE(screen.find(line), std::string::npos) << line << "\n" << screen;
  }
  run.Type(row.end);
  EXPECT_EQ(run.Exit(), 0);
  EXPECT_NE(run.Text().find("Session terminée."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, TerminalScreenKeys,
    ::testing::Values(KeyRow("LowPassRightRightUpThenQ", {"PASSEBAS", "--coefficients", "100"},
                             "coupure (300 à 3000 Hz): 1000\n", std::string(kRight) + kRight + kUp,
                             "BF (0 à 100 %): 24\n",
                             {"FILTRE PASSE-BAS EN SERVICE",
                              "Curseurs horizontaux Fréquence de coupure (300 à 3000 Hz): 1200\n",
                              " Fe=8000\n"},
                             "q"),
                      KeyRow("BfoLeft", {"BFO_NUMERIQUE", "--decalage", "2"}, "en Hz: 12\n", kLeft,
                             "en Hz: 6\n")),
    [](const auto& info) { return info.param.name; });

// Into a file: one line per change, the rejector's automatic decisions among them.
TEST_F(TerminalSession, LogShowsEachChangeAndTheAutomaticDecisions) {
  WriteBytes("in.u8", common::Tone(1230, 8000, 8000));
  const auto r = Run(
      "REJECTEUR_PAR_TFD --auto --frequence 1500 --etroite --carte virtuelle:in.u8 --duree 1.5");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string search = "Recherche automatique de la porteuse: ";
  const std::string frequency = "\nFréquence de réjection (100 à 3300 Hz): ";
  for (const std::string& line : std::vector<std::string>{
           "\nREJECTEUR MANU OU AUTO EN SERVICE\n", "\nAbandon du filtre réjecteur\n",
           "\nFiltre bande large ou bande étroite Bande étroite\n", frequency + "1500\n",
           "\n" + search + "A l'arrêt\n", "\n" + search + "En cours\n",
           "\n" + search + "En cours  Trouvé\n", "\nFe=8000\n", "\nSession terminée.\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  EXPECT_TRUE(r.out.find(frequency + "1250\n") != std::string::npos ||
              r.out.find(frequency + "1200\n") != std::string::npos)
      << r.out;
  // No line for a label alone, no internal cell name, none repeated for a cell written again
  // with the same text.
  for (const char* line : {"\nTOUCHES", "\nCurseurs", "\nFin", "Panel"}) {
    EXPECT_EQ(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  std::istringstream lines(r.out);
  for (std::string line, previous; std::getline(lines, line); previous = line) {
    EXPECT_NE(line, previous) << r.out;
  }
}

// ---- the screen's lines ----

TEST(TerminalScreenLines, KeyDescriptionAndValueColumns) {
  auto state = std::make_unique<ProgramState>();
  state->OutputLevel = 20;
  SetPanelText(state->Window, 15, "Fe=8000");
  BuildBfoScreen(*state);
  const std::vector<std::string> expected = {
      "TOUCHES                BFO_NUMERIQUE EN SERVICE",
      "Fin ou q               Abandon du BFO numérique",
      "Curseurs verticaux     Niveau de sortie BF (0 à 100 %):               20",
      "Curseurs horizontaux   Translation de fréquence, en Hz:               0",
      "Touche de suppression  Inversion de spectre (USB-->LSB ou LSB-->USB)  Normal",
      "",
      "",
      std::string(69, ' ') + "Fe=8000",  // the rate box ends with the widest line
  };
  EXPECT_EQ(TerminalScreen::Lines(state->Window), expected);
  // Cut to a narrow terminal, characters counted, not bytes.
  const std::vector<std::string> narrow = TerminalScreen::Lines(state->Window, 42);
  EXPECT_EQ(narrow[1], "Fin ou q               Abandon du BFO numé");
  EXPECT_EQ(TextWidth(narrow[4]), 42);
}

// At 80 columns (79 drawn) every screen shows all its words, the widest values among them: only
// spaces may go.
TEST(TerminalScreenLines, EveryScreenFitsEightyColumns) {
  const auto unspaced = [](std::vector<std::string> lines) {
    for (std::string& line : lines) {
      std::erase(line, ' ');
    }
    return lines;
  };
  for (auto build : {BuildLowPassScreen, BuildBandPassScreen, BuildGeneralReducerScreen,
                     BuildCwReducerScreen, BuildBfoScreen, BuildRejectorScreen}) {
    auto state = std::make_unique<ProgramState>();
    build(*state);
    SetPanelText(state->Window, 23, "Trouvé");
    EXPECT_EQ(unspaced(TerminalScreen::Lines(state->Window, 79)),
              unspaced(TerminalScreen::Lines(state->Window)));
  }
  // So does the line that says a session runs, with the longest name and numbers.
  std::istringstream notice(StartNotice("REJECTEUR_PAR_TFD", 11025, 2666, true));
  for (std::string line; std::getline(notice, line);) {
    EXPECT_LE(TextWidth(line), 79) << line;
  }
}

}  // namespace
}  // namespace velunda
