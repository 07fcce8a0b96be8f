// The three information windows as the user meets them: frames, components, buttons, focus,
// placement, and texts that fit their widgets in the fonts Qt actually picked.
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "dialogs/aide.hpp"
#include "dialogs/apropos.hpp"
#include "dialogs/fonctionnalites.hpp"
#include "dialogs/texts.hpp"

namespace {

std::unique_ptr<QDialog> Make(const QString& which) {
  if (which == QLatin1String("TForm2")) {
    return std::make_unique<velunda::TForm2>();
  }
  if (which == QLatin1String("TForm3")) {
    return std::make_unique<velunda::TForm3>();
  }
  return std::make_unique<velunda::TForm4>();
}

// The three windows: caption, the components that must lie inside, the button that returns to
// the menu (and whether it is the default one), the widget focused first.
void WindowRows() {
  QTest::addColumn<QString>("window");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QStringList>("components");
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("isDefault");
  QTest::addColumn<QString>("focused");
  QTest::newRow("About") << "TForm2"
                         << "A propos"
                         << QStringList{"Panel1", "Nom_du_produit", "Auteur", "Utilisateur",
                                        "OKBoutton"}
                         << "OKBoutton" << true << "OKBoutton";
  QTest::newRow("Features") << "TForm3"
                            << "Principales fonctionnalités du logiciel"
                            << QStringList{"Memo1", "OKBouton"} << "OKBouton" << false
                            << "OKBouton";
  QTest::newRow("Help") << "TForm4"
                        << "Texte d'aide" << QStringList{"Memo1", "Impression_Bouton", "OKBouton"}
                        << "OKBouton" << false << "Memo1";
}

// Widest line of a memo against the room its viewport leaves for text.
void CheckLinesFit(QPlainTextEdit* memo, const QStringList& lines) {
  const QFontMetrics metrics(memo->font());
  const int room =
      memo->viewport()->width() - 2 * static_cast<int>(memo->document()->documentMargin()) - 4;
  for (const QString& line : lines) {
    QVERIFY2(metrics.horizontalAdvance(line) <= room,
             qPrintable(QStringLiteral("too wide for %1 px in %2: \"%3\"")
                            .arg(room)
                            .arg(QFontInfo(memo->font()).family(), line)));
  }
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void frames_data() { WindowRows(); }
  void frames() {
    QFETCH(QString, window);
    QFETCH(QString, caption);
    QFETCH(QStringList, components);
    auto dialog = Make(window);
    QCOMPARE(dialog->windowTitle(), caption);
    QCOMPARE(dialog->minimumSize(), dialog->size());  // a fixed size
    QCOMPARE(dialog->maximumSize(), dialog->size());
    QVERIFY(dialog->isModal());
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
    for (const QString& name : components) {
      QWidget* child = dialog->findChild<QWidget*>(name);
      QVERIFY2(child != nullptr, qPrintable(name));
      const QRect inDialog(child->mapTo(dialog.get(), QPoint(0, 0)), child->size());
      QVERIFY2(dialog->rect().contains(inDialog), qPrintable(name + " outside the window"));
    }
  }

  // The first focus on each showing; each "Retour au menu" closes its window with the OK
  // result; the window is hidden, not destroyed, and shows again with the same content.
  void returnButtons_data() { WindowRows(); }
  void returnButtons() {
    QFETCH(QString, window);
    QFETCH(QString, button);
    QFETCH(bool, isDefault);
    QFETCH(QString, focused);
    auto dialog = Make(window);
    auto* ok = dialog->findChild<QPushButton*>(button);
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QStringLiteral("Retour au menu"));
    QCOMPARE(ok->isDefault(), isDefault);
    for (int showing = 0; showing < 2; ++showing) {
      dialog->setResult(-1);
      dialog->show();
      dialog->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
      QTRY_COMPARE(dialog->focusWidget()->objectName(), focused);
      QTest::mouseClick(ok, Qt::LeftButton);
      QVERIFY(!dialog->isVisible());
      QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }
    QPointer<QDialog> still(dialog.get());
    dialog->show();
    dialog->close();
    QVERIFY(!still.isNull());
    QVERIFY(!still->isVisible());
  }

  // The Help window hands the focus back to the memo each time it is activated.
  void helpGivesFocusToMemoAtEachActivation() {
    velunda::TForm4 help;
    QWidget other;
    other.resize(50, 50);
    for (int round = 0; round < 2; ++round) {
      help.show();
      help.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&help));
      QTRY_COMPARE(help.focusWidget(), static_cast<QWidget*>(help.Memo1));
      help.Impression_Bouton->setFocus();
      QCOMPARE(help.focusWidget(), static_cast<QWidget*>(help.Impression_Bouton));
      other.show();
      other.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&other));
    }
  }

  void placement() {
    for (const char* window : {"TForm2", "TForm4"}) {
      auto dialog = Make(QLatin1String(window));
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
      const QPoint middle = dialog->screen()->availableGeometry().center();
      const QPoint centre = dialog->frameGeometry().center();
      QVERIFY2((centre - middle).manhattanLength() <= 2,
               qPrintable(QStringLiteral("%1 not centred").arg(dialog->objectName())));
    }
  }

  // Filled once at creation: product with version, author, user; the fourth label empty.
  void aboutLabels() {
    velunda::TForm2 about;
    const QStringList lines = velunda::AboutLines();
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(QStringLiteral("VELUNDA version ") + velunda::ProgramVersion()));
    const QList<QLabel*> labels{about.Nom_du_produit, about.Auteur, about.Utilisateur,
                                about.Label4};
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(labels[i]->text(), lines.value(i));
      QCOMPARE(labels[i]->parentWidget(), static_cast<QWidget*>(about.Panel1));
      QVERIFY(labels[i]->font().bold());
      const int needed = QFontMetrics(labels[i]->font()).horizontalAdvance(labels[i]->text());
      QVERIFY2(needed <= labels[i]->width(),
               qPrintable(QStringLiteral("label %1 needs %2 px").arg(i).arg(needed)));
      QVERIFY(about.Panel1->contentsRect().contains(labels[i]->geometry()));
    }
    QCOMPARE(about.Panel1->frameShadow(), QFrame::Sunken);
  }

  // Each memo holds its text whole, read-only, every line fitting without a wrap in the font
  // Qt picked; the Features text needs no scrolling, the guide scrolls in a monospace face.
  void memos_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("guide");
    QTest::newRow("Features") << "TForm3" << false;
    QTest::newRow("Help") << "TForm4" << true;
  }
  void memos() {
    QFETCH(QString, window);
    QFETCH(bool, guide);
    auto dialog = Make(window);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    auto* memo = dialog->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QVERIFY(memo->isReadOnly());
    const QStringList lines = velunda::SplitLines(memo->toPlainText());
    QCOMPARE(lines, velunda::SplitLines(guide ? velunda::GuideText() : velunda::FeaturesText()));
    CheckLinesFit(memo, lines);
    if (!guide) {
      QCOMPARE(memo->verticalScrollBar()->maximum(), 0);
      return;
    }
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const QFontMetrics metrics(memo->font());
    QVERIFY2(metrics.horizontalAdvance(QStringLiteral("iiii")) ==
                 metrics.horizontalAdvance(QStringLiteral("MMMM")),
             qPrintable("not a monospace face: " + QFontInfo(memo->font()).family()));
  }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
