#include "dialogs/dialog_frame.hpp"

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

namespace velunda {

void SetupDialogFrame(QDialog& dialog, const QString& caption, int width, int height) {
  dialog.setWindowTitle(caption);
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  dialog.setFixedSize(width, height);
  dialog.setSizeGripEnabled(false);
  dialog.setModal(true);
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return;
  }
  // The frame is centred; move() places the frame's corner.
  const QRect area = screen->availableGeometry();
  const QSize frame = window.frameGeometry().size();
  window.move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

QFont SansSerifFont(int pixels, bool bold) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QFont MonospaceFont(int pixels) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(pixels);
  return font;
}

}  // namespace velunda
