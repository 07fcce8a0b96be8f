#pragma once
#include <QPointer>
#include <QWidget>

#include "platform/message_box.hpp"

namespace velunda {

// The modal error box of both the main window and the dialogs: critical icon, title "Erreur",
// one "OK" button, over its parent window.
class QtErrorBox final : public MessageBox {
 public:
  explicit QtErrorBox(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowError(std::string_view text) override;
  // The program is ending on a stop signal: no box waits for a click any more.
  void Silence() { silenced_ = true; }

 private:
  QPointer<QWidget> parent_;
  bool silenced_ = false;
};

}  // namespace velunda
