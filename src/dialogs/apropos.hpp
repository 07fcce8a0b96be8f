#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace velunda {

// The About box ("A propos"): product, author and user lines in a lowered panel, and the
// "Retour au menu" button. Created once at start-up; each showing is modal (exec()), and
// closing only hides it.
class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  QFrame* Panel1;
  QLabel* Nom_du_produit;
  QLabel* Auteur;
  QLabel* Utilisateur;
  QLabel* Label4;  // the notice line, left empty
  QPushButton* OKBoutton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Fills the three labels once, at creation.
  void a_la_creation_de_la_fiche();
};

}  // namespace velunda
