#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/terminal_keys.hpp"

namespace velunda {
namespace {

constexpr ScanKey Ext(uint8_t scan) { return ScanKey{scan, true}; }

struct KeyCase {
  friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::string bytes;
  std::vector<ScanKey> keys;
};

class TerminalKeys : public ::testing::TestWithParam<KeyCase> {};

// Whole input at once, then byte by byte: a sequence split across reads gives the same keys.
TEST_P(TerminalKeys, DecodesWholeAndSplit) {
  const KeyCase& c = GetParam();
  {
    TerminalKeyDecoder d;
    std::vector<ScanKey> keys;
    d.Feed(c.bytes.data(), c.bytes.size(), keys);
    EXPECT_EQ(keys, c.keys);
    EXPECT_FALSE(d.Pending());
  }
  {
    TerminalKeyDecoder d;
    std::vector<ScanKey> keys;
    for (char ch : c.bytes) {
      d.Feed(&ch, 1, keys);
    }
    EXPECT_EQ(keys, c.keys);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, TerminalKeys,
    ::testing::Values(
        KeyCase("xterm_arrows", "\x1b[A\x1b[B\x1b[C\x1b[D",
                {Ext(kScanUp), Ext(kScanDown), Ext(kScanRight), Ext(kScanLeft)}),
        KeyCase("application_mode_arrows", "\x1bOA\x1bOD", {Ext(kScanUp), Ext(kScanLeft)}),
        KeyCase("end_forms", "\x1b[F\x1bOF\x1b[4~\x1b[8~",
                {Ext(kScanEnd), Ext(kScanEnd), Ext(kScanEnd), Ext(kScanEnd)}),
        KeyCase("editing_block", "\x1b[2~\x1b[3~\x1b[6~\x1b[5~\x1b[1~",
                {Ext(kScanInsert), Ext(kScanDelete), Ext(kScanPageDown), Ext(kScanPageUp),
                 Ext(kScanHome)}),
        KeyCase("modifiers_keep_the_key", "\x1b[3;5~\x1b[1;2A", {Ext(kScanDelete), Ext(kScanUp)}),
        KeyCase("f2_forms", "\x1bOQ\x1b[12~\x1b[[B", {{kScanF2}, {kScanF2}, {kScanF2}}),
        KeyCase("q_and_ctrl_c_end", "qQ\x03", {Ext(kScanEnd), Ext(kScanEnd), Ext(kScanEnd)}),
        KeyCase("other_bytes_ignored", "ab 12\r\n", {}),
        KeyCase("unknown_sequences_ignored", "\x1b[15~\x1b[Z\x1b[[A\x1bOP", {}),
        KeyCase("alt_letter_is_escape", "\x1bx", {ScanKey{kScanEscape, false}}),
        KeyCase("text_between_keys", "a\x1b[Ab", {Ext(kScanUp)})),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalKeyDecoder, LoneEscapeWaitsThenFlushesAsEscape) {
  TerminalKeyDecoder d;
  std::vector<ScanKey> keys;
  d.Feed("\x1b", 1, keys);
  EXPECT_TRUE(keys.empty());
  EXPECT_TRUE(d.Pending());
  d.Flush(keys);
  EXPECT_EQ(keys, (std::vector<ScanKey>{{kScanEscape, false}}));
  EXPECT_FALSE(d.Pending());
}

TEST(TerminalKeyDecoder, UnfinishedSequenceIsDroppedByFlush) {
  TerminalKeyDecoder d;
  std::vector<ScanKey> keys;
  d.Feed("\x1b[3", 3, keys);
  d.Flush(keys);
  EXPECT_TRUE(keys.empty());
  d.Feed("~", 1, keys);  // the tail alone is no key
  EXPECT_TRUE(keys.empty());
}

}  // namespace
}  // namespace velunda
