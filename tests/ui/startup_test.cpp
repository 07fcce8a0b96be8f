// Start-up of the window: no card, the configuration file, the error box, the menus' hints,
// the rate box, and the mixer check on the hint line.
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

Q_DECLARE_METATYPE(VirtualCardFaults)
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(velunda::MixerDescription)

class StartupTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void withoutCardEndsBeforeTheWindow_data() {
    QTest::addColumn<VirtualCardFaults>("faults");
    QTest::addColumn<QString>("message");
    const QString noCard = "Fonctionnement impossible car il n'y a pas de carte son.";
    QTest::newRow("no input device") << VirtualCardFaults{.noInputDevice = true} << noCard;
    QTest::newRow("no minimum format")
        << VirtualCardFaults{.inputLacksMinimumFormat = true, .outputLacksMinimumFormat = true}
        << "Fonctionnement impossible car le format minimum requis pour la carte son n'est pas "
           "disponible.";
  }
  void withoutCardEndsBeforeTheWindow() {
    QFETCH(VirtualCardFaults, faults);
    QFETCH(QString, message);
    Rig rig({.card = {.faults = faults}});
    QVERIFY(!rig.Create());
    // The beep, then the message, and nothing else: no configuration read or written.
    const std::vector<std::string> expected = {"tone on", "tone off", message.toStdString()};
    QCOMPARE(rig.journal.entries, expected);
    QVERIFY(!QFile::exists("CONFVEL.SER"));
    QCOMPARE(rig.program->State().Engine.StartupDone, uint8_t{0});
    QVERIFY(rig.program->Window().windowHandle() == nullptr);  // never shown
  }

  void configurationFile_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<std::string>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<std::string>("saved");
    QTest::addColumn<QString>("gainCaption");
    QTest::addColumn<QString>("inputCaption");
    const std::string defaults = Record(1, 1, 1);
    QTest::newRow("missing") << false << std::string() << QString::fromUtf8(
        "Pas de présence du fichier de configuration CONFVEL.SER, donc paramètres par défaut.")
                             << defaults << "x 1...choisi" << QString::fromUtf8(
                                    "Entrée ligne gauche...choisie");
    QTest::newRow("valid, kept as it is")
        << true << Record(8, 2, 2) << QString() << Record(8, 2, 2) << "x 8...choisi"
        << QString::fromUtf8("Entrée ligne droite...choisie");
    // Which records count as altered is the configuration's, tested with it.
    QTest::newRow("altered") << true << Record(3, 1, 1) << QString::fromUtf8(
        "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.")
                             << defaults << "x 1...choisi" << QString::fromUtf8(
                                    "Entrée ligne gauche...choisie");
  }
  void configurationFile() {
    QFETCH(bool, present);
    QFETCH(std::string, content);
    QFETCH(QString, message);
    QFETCH(std::string, saved);
    QFETCH(QString, gainCaption);
    QFETCH(QString, inputCaption);
    Rig rig;
    if (present) {
      WriteFile("CONFVEL.SER", content);
    }
    QVERIFY(rig.Create());
    const std::vector<std::string> expected =
        message.isEmpty() ? std::vector<std::string>{}
                          : std::vector<std::string>{message.toStdString()};
    QCOMPARE(rig.journal.messages, expected);
    QCOMPARE(ReadFile("CONFVEL.SER"), saved);
    QCOMPARE(rig.program->State().Engine.StartupDone, uint8_t{1});
    const bool gainMarked =
        rig.program->Window().Item(saved[1] == 8 ? "x8" : "x1")->text() == gainCaption;
    QVERIFY(gainMarked);
    const char* input = saved[4] == 2 ? "Entree_Droite" : "Entree_Gauche";
    QCOMPARE(rig.program->Window().Item(input)->text(), inputCaption);
  }

  // The Qt box: modal, critical, titled "Erreur", one "OK" button, the text as given.
  void errorBoxIsModalAndCritical() {
    Rig rig({.qtBox = true});
    QString seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) {
        return;
      }
      closer.stop();
      const auto buttons = box->buttons();
      if (box->windowTitle() == "Erreur" && box->icon() == QMessageBox::Critical &&
          box->isModal() && buttons.size() == 1 && buttons[0]->text() == "OK") {
        seen = box->text();
      }
      buttons[0]->click();
    });
    closer.start(5);
    QVERIFY(rig.Create());
    QCOMPARE(seen, QString::fromUtf8("Pas de présence du fichier de configuration CONFVEL.SER, "
                                     "donc paramètres par défaut."));
  }

  void menuHints_data() {
    QTest::addColumn<int>("menu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    const std::tuple<TopMenu, const char*, const char*> menus[] = {
        {TopMenu::Aide, "&Aide", "Informations et aides à l'utilisateur"},
        {TopMenu::Mixer1, "&Table de mixage",
         "Réglage de la table de mixage par le logiciel ou par l'utilisateur"},
        {TopMenu::EntreGD1, "&Entrée son",
         "Sélection de l'entrée de la carte son: ligne gauche, droite ou microphone."},
        {TopMenu::Niveaudentre1, "&Niveau d'entrée",
         "Sélection de l'amplification du signal d'entrée BF (x2 à x8 pour cartes SB 16)"},
        {TopMenu::Actions1, "Ac&tions",
         "Lancement des différents filtres, réducteur de bruit et réjecteur"},
        {TopMenu::Abandondulogiciel1, "A&bandon du logiciel", ""},
    };
    for (const auto& [menu, caption, hint] : menus) {
      QTest::newRow(caption) << static_cast<int>(menu) << QString::fromUtf8(caption)
                                       << QString::fromUtf8(hint);
    }
  }
  // Highlighting a menu writes its hint on the hint line; its items have none.
  void menuHints() {
    QFETCH(int, menu);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    Rig rig;
    QVERIFY(rig.Create());
    TForm1& window = rig.program->Window();
    QAction* action = window.menuBar()->actions().value(menu);
    QVERIFY(action != nullptr);
    QCOMPARE(window.menuBar()->actions().indexOf(action), menu);
    QCOMPARE(action->text(), caption);
    window.show();
    window.menuBar()->setActiveAction(action);
    QCOMPARE(rig.PanelText(1), hint);
    if (QMenu* sub = action->menu()) {
      sub->setActiveAction(sub->actions().first());
      QCOMPARE(rig.PanelText(1), QString());
      sub->hide();
    }
  }

  void rateBox_data() {
    QTest::addColumn<int>("rateAt8000");
    QTest::addColumn<QString>("caption");
    QTest::newRow("8000 captured") << 8000 << "Fe=8000";
    QTest::newRow("11025 when 8000 is asked") << 11025 << "Fe=11025";
  }
  // "En test!" on red while the card test runs, then the rate on the button face; the timer
  // then stops, so that the idle window costs nothing.
  void rateBox() {
    QFETCH(int, rateAt8000);
    QFETCH(QString, caption);
    VirtualCardConfig card;
    card.faults.trueCaptureRate = {{8000, rateAt8000}};
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
    QCOMPARE(rig.PanelText(15), caption);
    QCOMPARE(rig.program->Window().PanelLabel(15)->palette().color(QPalette::Window),
             QGuiApplication::palette().color(QPalette::Button));
    QCOMPARE(rig.program->State().Engine.CardTests.SoundCardOK, uint8_t{1});
    QVERIFY(!rig.program->Window().Timer1.isActive());
    QVERIFY(rig.journal.messages.size() == 1);  // the missing file's message alone
  }

  void textsFitTheirCells_data() {
    QTest::addColumn<int>("panel");
    QTest::addColumn<QString>("text");
    const std::pair<int, const char*> cells[] = {
        {1, "Sélection de l'entrée de la carte son: ligne gauche, droite ou microphone."},
        {1, "PROBLÈME MIXER. PAS D'ENTRÉE LIGNE EN ENREGISTREMENT TROUVÉE!"},
        {2, "REDUCTEUR DE BRUIT GENE. EN SERVICE"},
        {2, "REJECTEUR MANU OU AUTO EN SERVICE"},
        {8, "TOUCHES"},
        {9, "Fin (ou Click sur fenêtre)"},
        {7, "Abandon du filtre passe-bande"},
        {10, "Curseurs verticaux"},
        {5, "Niveau de sortie BF (0 à 100 %):"},
        {15, "Fe=11025"},
    };
    for (const auto& [panel, text] : cells) {
      QTest::newRow(text) << panel << QString::fromUtf8(text);
    }
  }
  // Whatever face stands in for the one asked, a text stays whole within its cell.
  void textsFitTheirCells() {
    QFETCH(int, panel);
    QFETCH(QString, text);
    Rig rig;
    QVERIFY(rig.Create());
    SetPanelVisible(rig.program->State().Window, panel, true);
    SetPanelText(rig.program->State().Window, panel, text.toStdString());
    QLabel* label = rig.program->Window().PanelLabel(panel);
    QCOMPARE(label->text(), text);
    const int room = label->contentsRect().width() - label->indent();
    QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(text) <= room, qPrintable(text));
    QCOMPARE(label->font().bold(), panel == 2 || panel == 8);
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
    for (int menu = 0; menu < kTopMenuCount; ++menu) {
      const auto top = static_cast<TopMenu>(menu);
      SetMenuVisible(model, top, false);
      QVERIFY(!window.menuBar()->actions()[menu]->isVisible());
      SetMenuVisible(model, top, true);
      QVERIFY(window.menuBar()->actions()[menu]->isVisible());
    }
    QCOMPARE(window.centralWidget()->size(), QSize(459, 339));
    QCOMPARE(window.windowTitle(), QString("VELUNDA"));
  }

  void mixerCheckOnTheHintLine_data() {
    QTest::addColumn<MixerDescription>("mixer");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no mixer") << NoMixerDescription() << QString::fromUtf8("PAS DE MIXER TROUVÉ!");
    QTest::newRow("no recording") << NoRecordingCardDescription() << QString::fromUtf8(
        "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!");
    QTest::newRow("complete") << FullCardDescription() << QString();
  }
  // After the warning beep, the problem on the hint line; nothing when complete. (Which item
  // is named first is the problem message's, tested with the settings.)
  void mixerCheckOnTheHintLine() {
    QFETCH(MixerDescription, mixer);
    QFETCH(QString, problem);
    Rig rig({.mixer = mixer});
    WriteFile("CONFVEL.SER", Record(1, 1, 1));
    rig.journal.entries.clear();
    QVERIFY(rig.Create());
    QCOMPARE(rig.PanelText(1), problem);
    const bool beeped = !rig.journal.entries.empty() && rig.journal.entries[0] == "tone on";
    QCOMPARE(beeped, !problem.isEmpty());
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
