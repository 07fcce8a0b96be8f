#pragma once
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace velunda {

// The Features window ("Principales fonctionnalités du logiciel"): a read-only memo with the
// 16-line summary and the "Retour au menu" button. Created once; each showing is modal.
class TForm3 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm3(QWidget* parent = nullptr);

  QPlainTextEdit* Memo1;
  QPushButton* OKBouton;
};

}  // namespace velunda
