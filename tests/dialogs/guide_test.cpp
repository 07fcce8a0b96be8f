// The guide and the Features text against the program: every text the guide quotes between
// « and » is a text of the program, every key it names is a key the program acts on, every
// option it shows exists, and the table of contents matches the chapters.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include "dialogs/texts.hpp"

namespace {

// --- The program's string literals -------------------------------------------------------

// The C++ string literals of one source, adjacent literals joined as the compiler joins them
// (the sources hold no raw strings; a quote in a comment can only add a harmless literal).
QStringList Literals(QString source) {
  static const QRegularExpression charLiteral(QStringLiteral("'(\\\\.|[^'\\\\\\n])'"));
  static const QRegularExpression join(QStringLiteral("(?<!\\\\)\"\\s*\""));
  static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\\\n]|\\\\.)*)\""));
  source.replace(charLiteral, QStringLiteral("0")).replace(join, QString());
  QStringList out;
  for (auto m = literal.globalMatch(source); m.hasNext();) {
    QString text = m.next().captured(1);
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"))
        .replace(QStringLiteral("\\t"), QStringLiteral("\t"));
    static const QRegularExpression escape(QStringLiteral("\\\\(.)"));
    out << text.replace(escape, QStringLiteral("\\1"));
  }
  return out;
}

// As a user reads a program text: menu mnemonics ("&") dropped, the spaces that pad it on
// either side dropped.
QString AsShown(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(u'&');
  text.replace(u'\x01', u'&');
  while (text.endsWith(u' ')) {
    text.chop(1);
  }
  while (text.startsWith(u' ')) {
    text.remove(0, 1);
  }
  return text;
}

struct ProgramTexts {
  QSet<QString> shown;    // every literal as the user sees it
  QSet<QString> raw;      // every literal as written
  QSet<QChar> mnemonics;  // letters after a single "&" in a literal (lower case)
};

const ProgramTexts& Program() {
  static const ProgramTexts texts = [] {
    ProgramTexts t;
    QDirIterator it(QStringLiteral(VELUNDA_SOURCE_DIR "/src"), {"*.cpp", "*.hpp"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile file(it.next());
      if (!file.open(QIODevice::ReadOnly)) {
        continue;
      }
      for (const QString& literal : Literals(QString::fromUtf8(file.readAll()))) {
        t.raw.insert(literal);
        t.shown.insert(AsShown(literal));
        static const QRegularExpression mnemonic(QStringLiteral("(?<!&)&([^&\\s])"));
        auto m = mnemonic.globalMatch(literal);
        while (m.hasNext()) {
          t.mnemonics.insert(m.next().captured(1).at(0).toLower());
        }
      }
    }
    return t;
  }();
  return texts;
}

// --- What the guide says -------------------------------------------------------------------

// Each distinct capture `group` of `re` in `text`, in order of first appearance, after `seen`.
QStringList Matches(const QRegularExpression& re, const QString& text, int group,
                    QStringList seen = {}) {
  auto m = re.globalMatch(text);
  while (m.hasNext()) {
    const QString found = m.next().captured(group);
    if (!seen.contains(found)) {
      seen << found;
    }
  }
  return seen;
}

// «...» quotes, a quote broken over lines read with one space at the break.
QStringList Quotes(QString text) {
  static const QRegularExpression lineBreak(QStringLiteral("\\s*\\n\\s*"));
  static const QRegularExpression quote(QStringLiteral("«\\s*([^»]*?)\\s*»"));
  return Matches(quote, text.replace(lineBreak, QStringLiteral(" ")), 1);
}

// <Key> and <Key>+<Key> groups.
QStringList KeyGroups(const QString& text) {
  static const QRegularExpression keys(QStringLiteral("<[^<>\\n]+>(?:\\+<[^<>\\n]+>)*"));
  return Matches(keys, text, 0);
}

// Options of our programs: in the prose and on "$ velunda..." command lines (not on the
// lines of other commands, such as cmake's).
QStringList Options(const QString& text) {
  static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([a-z][a-z-]*[a-z])"));
  QStringList out;
  for (const QString& line : velunda::SplitLines(text)) {
    const QString command = line.trimmed();
    if (!command.startsWith(QStringLiteral("$ ")) ||
        command.startsWith(QStringLiteral("$ velunda"))) {
      out = Matches(option, line, 1, out);
    }
  }
  return out;
}

QString Shorten(const QString& s) { return s.size() <= 60 ? s : s.left(57) + "..."; }

// The keys a session acts on, by the names the guide gives them.
const QStringList kSessionKeys = {"Fin",   "Haut",    "Bas", "Gauche", "Droite",  "Suppr",
                                  "Inser", "Pg Suiv", "F2",  "q",      "Ctrl>+<C"};

}  // namespace

class GuideTest : public QObject {
  Q_OBJECT

 private slots:
  void quotedTextsExistInTheProgram_data() {
    QTest::addColumn<QString>("quote");
    for (const auto& [name, text] :
         {std::pair{"guide", velunda::GuideText()}, {"features", velunda::FeaturesText()}}) {
      for (const QString& q : Quotes(text)) {
        QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(name, Shorten(q)))) << q;
      }
    }
  }
  void quotedTextsExistInTheProgram() {
    QFETCH(QString, quote);
    // The program appends numbers to fixed prefixes ("Fe=" and the rate, "n°" and a code).
    static const QRegularExpression numbered(QStringLiteral("^(.*[=°])\\d+$"));
    const auto m = numbered.match(quote);
    QVERIFY2(
        Program().shown.contains(quote) || (m.hasMatch() && Program().raw.contains(m.captured(1))),
        qPrintable(QStringLiteral("not a text of the program: «%1»").arg(quote)));
  }

  void namedKeysAreKeysOfTheProgram_data() {
    QTest::addColumn<QString>("group");
    for (const QString& k : KeyGroups(velunda::GuideText())) {
      QTest::newRow(qPrintable(k)) << k;
    }
  }
  void namedKeysAreKeysOfTheProgram() {
    QFETCH(QString, group);
    static const QRegularExpression altLetter(QStringLiteral("^<Alt>\\+<(.)>$"));
    if (group == QStringLiteral("<Alt>")) {
      QVERIFY2(!Program().mnemonics.isEmpty(), "the program's menus have no mnemonic letter");
      return;
    }
    if (auto m = altLetter.match(group); m.hasMatch()) {
      const QChar letter = m.captured(1).at(0).toLower();
      QVERIFY2(Program().mnemonics.contains(letter),
               qPrintable(QStringLiteral("no menu caption has the mnemonic &%1").arg(letter)));
      return;
    }
    QVERIFY2(kSessionKeys.contains(group.mid(1, group.size() - 2)),
             qPrintable(QStringLiteral("%1 is not a key the program acts on").arg(group)));
  }

  void shownOptionsExist_data() {
    QTest::addColumn<QString>("option");
    for (const QString& o : Options(velunda::GuideText())) {
      QTest::newRow(qPrintable("--" + o)) << o;
    }
  }
  void shownOptionsExist() {
    QFETCH(QString, option);
    QVERIFY2(Program().raw.contains(option) || Program().raw.contains("--" + option),
             qPrintable(QStringLiteral("no option --%1 in the program").arg(option)));
  }

  // The contents list every chapter, in order, each heading underlined to its length.
  void contentsMatchTheChapters() {
    const QStringList lines = velunda::SplitLines(velunda::GuideText());
    const qsizetype start = lines.indexOf(QStringLiteral("SOMMAIRE"));
    QVERIFY(start > 0);
    QStringList contents;
    qsizetype i = start + 1;
    for (; i < lines.size(); ++i) {
      if (lines[i].trimmed().isEmpty() && !contents.isEmpty()) {
        break;
      }
      if (!lines[i].trimmed().isEmpty()) {
        contents << lines[i].trimmed();
      }
    }
    QStringList headings;
    static const QRegularExpression underline(QStringLiteral("^(=+|-+)$"));
    for (qsizetype k = i; k + 1 < lines.size(); ++k) {
      if (underline.match(lines[k + 1]).hasMatch() && lines[k + 1].size() == lines[k].size()) {
        headings << lines[k];
      }
    }
    QCOMPARE(headings, contents);
  }

  void guideOpensWithNameAndVersion() {
    const QStringList lines = velunda::SplitLines(velunda::GuideText());
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines[0], QStringLiteral("VELUNDA"));
    QCOMPARE(lines[1], QStringLiteral("Version %1 pour Linux").arg(VELUNDA_VERSION));
    QVERIFY(velunda::AboutLines().value(0).contains(QStringLiteral(VELUNDA_VERSION)));
  }
};

QTEST_GUILESS_MAIN(GuideTest)
#include "guide_test.moc"
