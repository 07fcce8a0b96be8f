#include "dialogs/error_box.hpp"

#include <QMessageBox>

namespace velunda {

void QtErrorBox::ShowError(std::string_view text) {
  if (silenced_) {
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Erreur"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent_);
  box.setObjectName(QStringLiteral("Erreur"));
  box.exec();
}

}  // namespace velunda
