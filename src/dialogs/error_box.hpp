#pragma once
#include "platform/message_box.hpp"

class QWidget;

namespace velunda {

// The modal error box of the windows: critical icon, title "Erreur", one "OK" button.
class QtErrorBox final : public MessageBox {
 public:
  explicit QtErrorBox(QWidget* parent) : parent_(parent) {}
  void ShowError(std::string_view text) override;

 private:
  QWidget* parent_;
};

}  // namespace velunda
