// Test driver for the information windows.
//   velunda-fenetres-essai apropos|fonctionnalites|aide   shows that window, modal as the menu does
//   velunda-fenetres-essai imprimer   prints the guide with "Impression du texte"
// Printing: exit status 0 when the job was handed to the printer, 3 when the window showed an
// error (its text goes to stderr), 4 when the window did not stay open after an error.
#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <cstring>

#include "dialogs/aide.hpp"
#include "dialogs/apropos.hpp"
#include "dialogs/fonctionnalites.hpp"
#include "platform/message_box.hpp"

namespace {

int Usage() {
  std::fputs("usage : velunda-fenetres-essai apropos|fonctionnalites|aide|imprimer\n", stderr);
  return 2;
}

template <class Window>
int Show() {
  Window window;
  window.exec();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    return Usage();
  }
  QApplication app(argc, argv);
  const char* what = argv[1];
  if (std::strcmp(what, "apropos") == 0) {
    return Show<velunda::TForm2>();
  }
  if (std::strcmp(what, "fonctionnalites") == 0) {
    return Show<velunda::TForm3>();
  }
  if (std::strcmp(what, "aide") == 0) {
    return Show<velunda::TForm4>();
  }
  if (std::strcmp(what, "imprimer") == 0) {
    velunda::TForm4 form;
    velunda::RecordingMessageBox box;
    form.SetMessageBox(box);
    form.show();
    form.Impression_Bouton->click();
    for (const std::string& message : box.messages) {
      std::fprintf(stderr, "%s\n", message.c_str());
    }
    if (box.messages.empty()) {
      return 0;
    }
    return form.isVisible() ? 3 : 4;
  }
  return Usage();
}
