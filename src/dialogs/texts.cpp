#include "dialogs/texts.hpp"

#include <QFile>

namespace velunda {
namespace {

QString Resource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromUtf8(file.readAll());
}

}  // namespace

QString GuideText() { return Resource(QStringLiteral(":/aide/guide_utilisation.txt")); }

QString FeaturesText() { return Resource(QStringLiteral(":/aide/fonctionnalites.txt")); }

QString ProgramVersion() { return QStringLiteral(VELUNDA_VERSION); }

QStringList AboutLines() {
  return {
      QStringLiteral("VELUNDA version %1 pour Linux : filtre audio en temps réel")
          .arg(ProgramVersion()),
      QStringLiteral("Auteurs : l'équipe de développement de VELUNDA"),
      QStringLiteral("Utilisateur : radio-écouteur des bandes décamétriques (SWL)"),
  };
}

QStringList SplitLines(const QString& text) {
  if (text.isEmpty()) {
    return {};
  }
  QStringList lines = text.split(QLatin1Char('\n'));
  if (text.endsWith(QLatin1Char('\n'))) {
    lines.removeLast();
  }
  return lines;
}

}  // namespace velunda
