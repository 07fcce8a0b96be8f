#include "platform/terminal_keys.hpp"

#include <cstring>

namespace velunda {
namespace {

constexpr char kEsc = '\x1b';
constexpr char kCtrlC = '\x03';

ScanKey Extended(uint8_t scan) { return ScanKey{scan, true}; }

// Final letter of "ESC [ x" or "ESC O x".
bool LetterKey(char c, ScanKey& key) {
  switch (c) {
    case 'A':
      key = Extended(kScanUp);
      return true;
    case 'B':
      key = Extended(kScanDown);
      return true;
    case 'C':
      key = Extended(kScanRight);
      return true;
    case 'D':
      key = Extended(kScanLeft);
      return true;
    case 'F':
      key = Extended(kScanEnd);
      return true;
    case 'H':
      key = Extended(kScanHome);
      return true;
    case 'Q':
      key = ScanKey{kScanF2, false};
      return true;
    default:
      return false;
  }
}

// Number of "ESC [ n ~".
bool TildeKey(int n, ScanKey& key) {
  switch (n) {
    case 1:
    case 7:
      key = Extended(kScanHome);
      return true;
    case 2:
      key = Extended(kScanInsert);
      return true;
    case 3:
      key = Extended(kScanDelete);
      return true;
    case 4:
    case 8:
      key = Extended(kScanEnd);
      return true;
    case 5:
      key = Extended(kScanPageUp);
      return true;
    case 6:
      key = Extended(kScanPageDown);
      return true;
    case 12:
      key = ScanKey{kScanF2, false};
      return true;
    default:
      return false;
  }
}

bool IsFinal(char c) { return c >= 0x40 && c <= 0x7E; }

}  // namespace

void TerminalKeyDecoder::Feed(const char* bytes, size_t count, std::vector<ScanKey>& keys) {
  pending_.append(bytes, count);
  Decode(keys);
}

void TerminalKeyDecoder::Flush(std::vector<ScanKey>& keys) {
  if (pending_ == std::string(1, kEsc)) {
    keys.push_back(ScanKey{kScanEscape, false});
  }
  pending_.clear();
}

void TerminalKeyDecoder::Decode(std::vector<ScanKey>& keys) {
  size_t i = 0;
  while (i < pending_.size()) {
    const char c = pending_[i];
    if (c == 'q' || c == 'Q' || c == kCtrlC) {
      keys.push_back(Extended(kScanEnd));
      ++i;
      continue;
    }
    if (c != kEsc) {
      ++i;
      continue;
    }
    if (i + 1 >= pending_.size()) {
      break;  // wait for the rest
    }
    const char kind = pending_[i + 1];
    if (kind == 'O') {
      if (i + 2 >= pending_.size()) {
        break;
      }
      ScanKey key;
      if (LetterKey(pending_[i + 2], key)) {
        keys.push_back(key);
      }
      i += 3;
      continue;
    }
    if (kind != '[') {
      // Escape followed by an ordinary byte (Alt+key): the Escape key, then go on.
      keys.push_back(ScanKey{kScanEscape, false});
      ++i;
      continue;
    }
    // Control sequence: parameters and intermediates up to a final byte.
    size_t j = i + 2;
    while (j < pending_.size() && !IsFinal(pending_[j])) {
      ++j;
    }
    if (j >= pending_.size()) {
      if (j - i > 16) {
        i = j;  // garbage, not a key
        continue;
      }
      break;
    }
    // Linux console F1..F5 are "ESC [ [ x": one more byte; F2 ("B") is the only one of ours.
    if (pending_[j] == '[' && j == i + 2) {
      if (j + 1 >= pending_.size()) {
        break;
      }
      if (pending_[j + 1] == 'B') {
        keys.push_back(ScanKey{kScanF2, false});
      }
      i = j + 2;
      continue;
    }
    const std::string params = pending_.substr(i + 2, j - (i + 2));
    ScanKey key;
    if (pending_[j] == '~') {
      // First parameter only: "3;5~" is Ctrl+Delete, still Delete.
      int n = 0;
      size_t k = 0;
      while (k < params.size() && params[k] >= '0' && params[k] <= '9' && n < 1000) {
        n = n * 10 + (params[k] - '0');
        ++k;
      }
      if (TildeKey(n, key)) {
        keys.push_back(key);
      }
    } else if (LetterKey(pending_[j], key)) {
      keys.push_back(key);
    }
    i = j + 1;
  }
  pending_.erase(0, i);
}

}  // namespace velunda
