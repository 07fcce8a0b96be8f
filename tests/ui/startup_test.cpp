// Start-up of the window: without a card it ends unseen; what the creation step finds (the
// saved settings, a mixer problem, a message) reaches the window; the hints, the rate box, and
// the cells that mirror the model.
#include <QMenuBar>
#include <QPushButton>

#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

class StartupTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // The beep, then the message, and nothing else: no configuration read or written.
  void withoutCardEndsBeforeTheWindow() {
    Rig rig({.card = {.faults = {.noInputDevice = true}}});
    QVERIFY(!rig.Create());
    const std::vector<std::string> expected = {
        "tone on", "tone off", "Fonctionnement impossible car il n'y a pas de carte son."};
    QCOMPARE(rig.journal.entries, expected);
    QVERIFY(!QFile::exists("CONFVEL.SER"));
    QVERIFY(rig.program->Window().windowHandle() == nullptr);  // never shown
  }

  // The settings read from the file are marked in their menus; the file is kept as it is.
  void savedSettingsMarkedInTheMenus() {
    Rig rig;
    WriteFile("CONFVEL.SER", Record(8, 2, 2));
    QVERIFY(rig.Create());
    QVERIFY(rig.journal.messages.empty());
    QCOMPARE(ReadFile("CONFVEL.SER"), Record(8, 2, 2));
    QCOMPARE(rig.program->Window().Item("x8")->text(), QString("x 8...choisi"));
    QCOMPARE(rig.program->Window().Item("Entree_Droite")->text(),
             QString::fromUtf8("Entrée ligne droite...choisie"));
  }

  // Highlighting a menu writes its hint on the hint line, whole within it; highlighting an
  // action tells of F2, another item clears it.
  void menuHintsOnTheHintLine() {
    Rig rig;
    QVERIFY(rig.Create());
    TForm1& window = rig.program->Window();
    window.show();
    for (QAction* menu : window.menuBar()->actions()) {
      window.menuBar()->setActiveAction(menu);
      QVERIFY2(TextFits(*window.PanelLabel(1)), qPrintable(rig.PanelText(1)));
    }
    QAction* actions = window.Item("Actions1");
    window.menuBar()->setActiveAction(actions);
    QCOMPARE(rig.PanelText(1), QString::fromUtf8("Lancement des différents filtres, réducteur de "
                                                 "bruit et réjecteur"));
    actions->menu()->setActiveAction(window.Item("Passe_bas"));
    QCOMPARE(rig.PanelText(1), QString("Pendant le filtrage, F2 ouvre ou ferme le spectre"));
    QVERIFY(TextFits(*window.PanelLabel(1)));
    actions->menu()->hide();
    window.menuBar()->setActiveAction(window.Item("EntreGD1"));
    window.Item("EntreGD1")->menu()->setActiveAction(window.Item("Microphon"));
    QCOMPARE(rig.PanelText(1), QString());
  }

  // "En test!" on red while the card test runs, then the rate captured on the button face; the
  // timer then stops, so that the idle window costs nothing.
  void rateBox() {
    VirtualCardConfig card;
    card.faults.trueCaptureRate = {{8000, 11025}};
    Rig rig({.card = card});
    QString during;
    QColor duringColour;
    rig.onIdle = [&] {
      if (during.isEmpty()) {
        QLabel* box = rig.program->Window().PanelLabel(15);
        during = box->text();
        duringColour = box->palette().color(QPalette::Window);
      }
    };
    QVERIFY(rig.Create());
    QCOMPARE(rig.PanelText(15), QString());
    QVERIFY(rig.program->Window().Timer1.isActive());
    rig.program->Show();
    QVERIFY(QTest::qWaitFor([&] { return rig.program->State().Engine.CardTests.TestDone == 1; }));
    QCOMPARE(during, QString("En test!"));
    QCOMPARE(duringColour, QColor(Qt::red));
    QCOMPARE(rig.PanelText(15), QString("Fe=11025"));
    QVERIFY(TextFits(*rig.program->Window().PanelLabel(15)));
    QCOMPARE(rig.program->Window().PanelLabel(15)->palette().color(QPalette::Window),
             QGuiApplication::palette().color(QPalette::Button));
    QVERIFY(!rig.program->Window().Timer1.isActive());
  }

  // The window follows the model: a panel's text, visibility and colour, a menu's visibility.
  void windowMirrorsTheModel() {
    Rig rig;
    QVERIFY(rig.Create());
    rig.program->Show();
    MainWindowModel& model = rig.program->State().Window;
    TForm1& window = rig.program->Window();
    for (int panel = 1; panel <= kPanelCount; ++panel) {
      if (QLabel* label = window.PanelLabel(panel)) {
        QCOMPARE(label->isVisible(), panel == 1 || panel == 15);
        const PanelGeometry& g = PanelLayout(panel);
        QCOMPARE(label->geometry(), QRect(g.Left, g.Top, g.Width, g.Height));
      }
    }
    SetPanelText(model, 12, "Curseurs horizontaux");
    SetPanelVisible(model, 12, true);
    SetPanelColour(model, 12, PanelColour::Red);
    QVERIFY(window.PanelLabel(12)->isVisible());
    QCOMPARE(rig.PanelText(12), QString("Curseurs horizontaux"));
    QCOMPARE(window.PanelLabel(12)->palette().color(QPalette::Window), QColor(Qt::red));
    SetPanelVisible(model, 12, false);
    QVERIFY(!window.PanelLabel(12)->isVisible());
    const QList<QAction*> bar = window.menuBar()->actions();
    for (int menu = 0; menu < kTopMenuCount; ++menu) {
      SetMenuVisible(model, static_cast<TopMenu>(menu), false);
      QVERIFY(!bar[menu]->isVisible());
      SetMenuVisible(model, static_cast<TopMenu>(menu), true);
      QVERIFY(bar[menu]->isVisible());
    }
    QCOMPARE(window.centralWidget()->size(), QSize(459, 339));
    QCOMPARE(window.windowTitle(), QString("VELUNDA"));
  }

  // A mixer problem found at creation: the warning beep, then the problem on the hint line,
  // whole within it.
  void mixerProblemOnTheHintLine() {
    Rig rig({.mixer = NoRecordingCardDescription()});
    WriteFile("CONFVEL.SER", Record(1, 1, 1));
    QVERIFY(rig.Create());
    QCOMPARE(rig.PanelText(1), QString::fromUtf8("PROBLÈME MIXER. PAS DE CONTRÔLE DE "
                                                 "L'ENREGISTREMENT TROUVÉ!"));
    QVERIFY(TextFits(*rig.program->Window().PanelLabel(1)));
    QVERIFY(!rig.journal.entries.empty() && rig.journal.entries[0] == "tone on");
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
