#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velunda {

// Modal error box: caption "Erreur", one "OK" button. Returns when the user closed it.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void ShowError(std::string_view text) = 0;
};

// Writes each message as one line on stderr (command line, headless use).
class StderrMessageBox final : public MessageBox {
 public:
  void ShowError(std::string_view text) override;
};

// Keeps the messages in order; for tests and for callers that report later.
class RecordingMessageBox final : public MessageBox {
 public:
  void ShowError(std::string_view text) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

}  // namespace velunda
