// Test driver for the help window's printing:
//   velunda-fenetres-essai imprimer   prints the guide with "Impression du texte"
// Printing: exit status 0 when the job was handed to the printer, 3 when the window showed an
// error (its text goes to stderr), 4 when the window did not stay open after an error.
#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <cstring>

#include "dialogs/aide.hpp"
#include "platform/message_box.hpp"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "imprimer") != 0) {
    std::fputs("usage : velunda-fenetres-essai imprimer\n", stderr);
    return 2;
  }
  QApplication app(argc, argv);
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
