#include "dialogs/fonctionnalites.hpp"

#include <QPlainTextEdit>
#include <QPushButton>

#include "dialogs/dialog_frame.hpp"
#include "dialogs/texts.hpp"

namespace velunda {

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm3"));
  SetupDialogFrame(*this, QStringLiteral("Principales fonctionnalités du logiciel"), 337, 264);
  move(187, 146);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(8, 8, 321, 217);
  Memo1->setFont(SansSerifFont(11));
  Memo1->document()->setDocumentMargin(2);
  Memo1->setReadOnly(true);
  Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo1->setPlainText(SplitLines(FeaturesText()).join(QLatin1Char('\n')));

  OKBouton = new QPushButton(QStringLiteral("Retour au menu"), this);
  OKBouton->setObjectName(QStringLiteral("OKBouton"));
  OKBouton->setGeometry(112, 233, 113, 25);
  OKBouton->setFocus();
  connect(OKBouton, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velunda
