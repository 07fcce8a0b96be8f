#include "dialogs/aide.hpp"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "dialogs/cups_line_printer.hpp"
#include "dialogs/dialog_frame.hpp"
#include "dialogs/error_box.hpp"
#include "dialogs/texts.hpp"

namespace velunda {

TForm4::TForm4(QWidget* parent)
    : QDialog(parent),
      printer_(std::make_unique<CupsLinePrinter>(QStringLiteral("VELUNDA - Guide d'utilisation"))),
      ownBox_(std::make_unique<QtErrorBox>(this)),
      box_(ownBox_.get()) {
  setObjectName(QStringLiteral("TForm4"));
  SetupDialogFrame(*this, QStringLiteral("Texte d'aide"), 632, 416);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(8, 8, 617, 369);
  Memo1->setFont(MonospaceFont(13));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setReadOnly(true);
  Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo1->setPlainText(SplitLines(GuideText()).join(QLatin1Char('\n')));

  Impression_Bouton = new QPushButton(QStringLiteral("Impression du texte"), this);
  Impression_Bouton->setObjectName(QStringLiteral("Impression_Bouton"));
  Impression_Bouton->setGeometry(160, 384, 145, 25);
  Impression_Bouton->setAutoDefault(false);
  connect(Impression_Bouton, &QPushButton::clicked, this, &TForm4::Impression_BoutonClick);

  OKBouton = new QPushButton(QStringLiteral("Retour au menu"), this);
  OKBouton->setObjectName(QStringLiteral("OKBouton"));
  OKBouton->setGeometry(328, 384, 145, 25);
  OKBouton->setAutoDefault(false);
  connect(OKBouton, &QPushButton::clicked, this, &QDialog::accept);
}

TForm4::~TForm4() = default;

void TForm4::SetPrinter(std::unique_ptr<LinePrinter> printer) { printer_ = std::move(printer); }

void TForm4::SetMessageBox(MessageBox& box) { box_ = &box; }

void TForm4::Impression_BoutonClick() {
  const QString failure = PrintLines(*printer_, SplitLines(Memo1->toPlainText()));
  if (!failure.isEmpty()) {
    box_->ShowError(failure.toStdString());
  }
}

void TForm4::A_l_activation_de_la_fiche() { Memo1->setFocus(Qt::ActiveWindowFocusReason); }

bool TForm4::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) {
    A_l_activation_de_la_fiche();
  }
  return QDialog::event(event);
}

void TForm4::showEvent(QShowEvent* event) {
  CentreOnScreen(*this);
  QDialog::showEvent(event);
}

}  // namespace velunda
