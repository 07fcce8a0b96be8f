#pragma once
#include <QString>
#include <memory>

#include "dialogs/line_printer.hpp"

class QPainter;
class QPrinter;
class QTemporaryFile;

namespace velunda {

// Prints to the default CUPS printer: Qt lays the lines out on pages (a PDF in a temporary
// file), then the file goes to CUPS as one job. CUPS is asked directly because Qt's own
// submission drops CUPS's answer, and a refused job must be reported.
class CupsLinePrinter final : public LinePrinter {
 public:
  explicit CupsLinePrinter(QString title);
  ~CupsLinePrinter() override;

  QString Open() override;
  QString WriteLine(const QString& line) override;
  QString Close() override;

 private:
  QString title_;
  QString destination_;
  std::unique_ptr<QTemporaryFile> file_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  int y_ = 0;
  int lineHeight_ = 0;
  int ascent_ = 0;
  int pageHeight_ = 0;
  bool failed_ = false;
};

}  // namespace velunda
