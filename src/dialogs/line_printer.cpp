#include "dialogs/line_printer.hpp"

namespace velunda {

QString PrintLines(LinePrinter& printer, const QStringList& lines) {
  QString failure = printer.Open();
  if (!failure.isEmpty()) {
    return failure;
  }
  for (const QString& line : lines) {
    failure = printer.WriteLine(line);
    if (!failure.isEmpty()) {
      break;
    }
  }
  const QString closing = printer.Close();
  return failure.isEmpty() ? closing : failure;
}

}  // namespace velunda
