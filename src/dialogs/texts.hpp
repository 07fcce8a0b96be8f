#pragma once
#include <QString>
#include <QStringList>

namespace velunda {

// The texts of the information windows. The guide and the Features text are the UTF-8 files
// of data/aide/, compiled in as resources; the About lines are plain constants.

QString GuideText();
QString FeaturesText();

// The three lines of the About box, in order: product with version, author, user.
QStringList AboutLines();

// The program's version, as the build gives it ("0.1.0").
QString ProgramVersion();

// A memo's text split into its lines; an empty text has none, a final line break adds none.
QStringList SplitLines(const QString& text);

}  // namespace velunda
