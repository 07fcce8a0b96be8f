// velunda-filtre's picture of a recording's spectra, painted with Qt on an offscreen image.
#include "dialogs/frequency_image.hpp"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <memory>

#include "dialogs/frequency_painter.hpp"
#include "sessions/frequency_picture.hpp"

namespace velunda {
namespace {

// Fonts need a GUI application; velunda-filtre has none: one on the offscreen platform, which
// needs no display.
std::unique_ptr<QGuiApplication> GuiForFonts() {
  if (QCoreApplication::instance() != nullptr) {
    return nullptr;
  }
  static int argc = 3;
  static char name[] = "velunda-filtre";
  static char option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  // Qt's notices (no runtime directory...) are not the user's concern; its fatal errors are.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
      std::fprintf(stderr, "velunda-filtre : %s\n", qPrintable(text));
    }
  });
  return std::make_unique<QGuiApplication>(argc, argv);
}

// The light desktop palette, whatever desktop the command runs on: the picture goes in files.
QPalette PicturePalette() {
  QPalette palette;
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, QColor(0x20, 0x20, 0x20));
  palette.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
  return palette;
}

}  // namespace

std::vector<uint8_t> SpectrumPng(const SpectrumPicture& picture, int width, int height) {
  const std::unique_ptr<QGuiApplication> app = GuiForFonts();
  QImage image(width, height, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PaintSpectrum(painter, QRectF(0, 0, width, height), picture, PicturePalette());
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace velunda
