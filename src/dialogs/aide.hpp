#pragma once
#include <QDialog>
#include <memory>

#include "dialogs/line_printer.hpp"
#include "platform/message_box.hpp"

class QPlainTextEdit;
class QPushButton;

namespace velunda {

// The Help window ("Texte d'aide"): the user guide in a read-only memo, "Impression du texte"
// and "Retour au menu". Created once; each showing is modal (exec()); closing only hides it.
// Each activation gives the focus to the memo.
class TForm4 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm4(QWidget* parent = nullptr);
  ~TForm4() override;

  // Where the guide is printed; by default the default CUPS printer.
  void SetPrinter(std::unique_ptr<LinePrinter> printer);
  // Where a printing failure is shown; by default a modal "Erreur" box over this window.
  // The box must outlive the window.
  void SetMessageBox(MessageBox& box);

  QPlainTextEdit* Memo1;
  QPushButton* Impression_Bouton;
  QPushButton* OKBouton;

  // Prints the memo's lines, in order, as one job; a failure shows its cause in the error box
  // and the window stays open.
  void Impression_BoutonClick();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void A_l_activation_de_la_fiche();

  std::unique_ptr<LinePrinter> printer_;
  std::unique_ptr<MessageBox> ownBox_;
  MessageBox* box_;
};

}  // namespace velunda
