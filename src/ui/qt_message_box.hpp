#pragma once
#include <QPointer>
#include <QWidget>

#include "platform/message_box.hpp"

namespace velunda {

// A modal critical box: title "Erreur", one "OK" button, over the main window.
class QtMessageBox final : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowError(std::string_view text) override;
  // The program is ending on a stop signal: no box waits for a click any more.
  void Silence() { silenced_ = true; }

 private:
  QPointer<QWidget> parent_;
  bool silenced_ = false;
};

}  // namespace velunda
