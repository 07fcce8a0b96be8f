#pragma once
#include <QString>
#include <QStringList>

namespace velunda {

// One print job that takes text lines in order. Each step returns an empty string when it
// worked, else a French sentence naming the cause, shown as it is to the user.
class LinePrinter {
 public:
  virtual ~LinePrinter() = default;
  virtual QString Open() = 0;
  virtual QString WriteLine(const QString& line) = 0;
  // Ends the job. Always called after a successful Open, even when a write failed.
  virtual QString Close() = 0;
};

// Prints the lines as one job: open, every line from first to last, close. Stops writing at
// the first failure but still closes. Returns the first failure, or an empty string.
QString PrintLines(LinePrinter& printer, const QStringList& lines);

}  // namespace velunda
