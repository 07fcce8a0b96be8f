// Printing the guide: the job's steps in order, failures shown with their cause while the Help
// window stays open, and the CUPS printer's answer when no print service is reachable.
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "dialogs/aide.hpp"
#include "dialogs/cups_line_printer.hpp"
#include "dialogs/error_box.hpp"
#include "dialogs/line_printer.hpp"
#include "dialogs/texts.hpp"

namespace {

// Records every step; fails the step it is told to.
class FakePrinter final : public velunda::LinePrinter {
 public:
  QStringList* steps;
  QString failOpen, failClose, failWrite;
  int failAtLine = -1;  // 0-based line whose write fails

  explicit FakePrinter(QStringList* log) : steps(log) {}
  QString Open() override {
    *steps << "open";
    return failOpen;
  }
  QString WriteLine(const QString& line) override {
    const int index = written++;
    *steps << "line:" + line;
    return index == failAtLine ? failWrite : QString();
  }
  QString Close() override {
    *steps << "close";
    return failClose;
  }

 private:
  int written = 0;
};

}  // namespace

class PrintingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Whatever the caller's environment, no test may reach a real print service.
    qputenv("CUPS_SERVER", QFile::encodeName(QDir::temp().filePath("velunda-no-cups.sock")));
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
  }

  void printLines_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("failOpen");
    QTest::addColumn<int>("failAtLine");
    QTest::addColumn<QString>("failClose");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("result");
    const QStringList three{"un", "", "trois"};
    QTest::newRow("lines in order, one job")
        << three << "" << -1 << "" << QStringList{"open", "line:un", "line:", "line:trois", "close"}
        << "";
    QTest::newRow("empty memo opens and closes a job")
        << QStringList{} << "" << -1 << "" << QStringList{"open", "close"} << "";
    QTest::newRow("open refused: nothing written, no close")
        << three << "pas d'imprimante" << -1 << "" << QStringList{"open"} << "pas d'imprimante";
    QTest::newRow("write fails: stop writing, still close")
        << three << "" << 1 << "" << QStringList{"open", "line:un", "line:", "close"} << "écriture";
    QTest::newRow("close fails") << three << "" << -1 << "refusé"
                                 << QStringList{"open", "line:un", "line:", "line:trois", "close"}
                                 << "refusé";
    QTest::newRow("write and close fail: the first cause is told")
        << three << "" << 0 << "refusé" << QStringList{"open", "line:un", "close"} << "écriture";
  }
  void printLines() {
    QFETCH(QStringList, lines);
    QFETCH(QString, failOpen);
    QFETCH(int, failAtLine);
    QFETCH(QString, failClose);
    QFETCH(QStringList, steps);
    QFETCH(QString, result);
    QStringList log;
    FakePrinter printer(&log);
    printer.failOpen = failOpen;
    printer.failAtLine = failAtLine;
    printer.failWrite = QStringLiteral("écriture");
    printer.failClose = failClose;
    QCOMPARE(velunda::PrintLines(printer, lines), result);
    QCOMPARE(log, steps);
  }

  // Through the window's button: the memo's lines, first to last, as one job; a failure is
  // shown with its cause and the window stays open. (Every order of failures is the job's,
  // above.)
  void printButton_data() {
    QTest::addColumn<int>("failAtLine");
    QTest::addColumn<int>("linesWritten");
    QTest::newRow("the guide") << -1 << int(velunda::SplitLines(velunda::GuideText()).size());
    QTest::newRow("write error") << 3 << 4;
  }
  void printButton() {
    QFETCH(int, failAtLine);
    QFETCH(int, linesWritten);
    velunda::TForm4 help;
    QStringList log;
    auto printer = std::make_unique<FakePrinter>(&log);
    const QString cause = QStringLiteral("Impression impossible : cause précise.");
    printer->failAtLine = failAtLine;
    printer->failWrite = cause;
    help.SetPrinter(std::move(printer));
    velunda::RecordingMessageBox box;
    help.SetMessageBox(box);
    help.show();
    QCOMPARE(help.Impression_Bouton->text(), QStringLiteral("Impression du texte"));
    QTest::mouseClick(help.Impression_Bouton, Qt::LeftButton);

    QStringList expected{"open"};
    const QStringList lines = velunda::SplitLines(velunda::GuideText());
    for (int i = 0; i < linesWritten; ++i) {
      expected << "line:" + lines[i];
    }
    expected << "close";
    QCOMPARE(log, expected);
    const bool shown = failAtLine >= 0;
    QCOMPARE(box.messages.size(), size_t{shown ? 1u : 0u});
    if (shown) {
      QCOMPARE(QString::fromStdString(box.messages[0]), cause);
    }
    QVERIFY(help.isVisible());
  }

  // Through the window's own error box (the main window's too): modal, critical, "Erreur",
  // one "OK", the cause as text.
  void defaultWindowShowsTheErrorBox() {
    velunda::TForm4 help;
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QString title, text;
    QStringList buttons;
    bool modal = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      modal = box->isModal();
      for (QAbstractButton* button : box->buttons()) {
        buttons << button->text();
      }
      box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(help.Impression_Bouton, Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Erreur"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QStringList{"OK"});
    QVERIFY(modal);
    QVERIFY2(text.contains(QStringLiteral("CUPS ne répond pas")), qPrintable(text));
    QVERIFY(help.isVisible());
  }
};

QTEST_MAIN(PrintingTest)
#include "printing_test.moc"
