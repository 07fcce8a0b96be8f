#include "dialogs/apropos.hpp"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "dialogs/dialog_frame.hpp"
#include "dialogs/texts.hpp"

namespace velunda {

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm2"));
  SetupDialogFrame(*this, QStringLiteral("A propos"), 587, 168);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(9, 8, 569, 97);

  QLabel** labels[] = {&Nom_du_produit, &Auteur, &Utilisateur, &Label4};
  const char* names[] = {"Nom_du_produit", "Auteur", "Utilisateur", "Label4"};
  for (int i = 0; i < 4; ++i) {
    QLabel* label = new QLabel(Panel1);
    label->setObjectName(QLatin1String(names[i]));
    label->setFont(SansSerifFont(13, true));
    label->setStyleSheet(QStringLiteral("color: black"));
    label->setGeometry(12, 8 + 21 * i, 545, 18);
    *labels[i] = label;
  }

  OKBoutton = new QPushButton(QStringLiteral("Retour au menu"), this);
  OKBoutton->setObjectName(QStringLiteral("OKBoutton"));
  OKBoutton->setGeometry(237, 124, 113, 25);
  OKBoutton->setDefault(true);
  OKBoutton->setFocus();
  connect(OKBoutton, &QPushButton::clicked, this, &QDialog::accept);

  a_la_creation_de_la_fiche();
}

void TForm2::a_la_creation_de_la_fiche() {
  const QStringList lines = AboutLines();
  Nom_du_produit->setText(lines.value(0));
  Auteur->setText(lines.value(1));
  Utilisateur->setText(lines.value(2));
}

void TForm2::showEvent(QShowEvent* event) {
  CentreOnScreen(*this);
  QDialog::showEvent(event);
}

}  // namespace velunda
