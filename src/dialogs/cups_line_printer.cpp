#include "dialogs/cups_line_printer.hpp"

#include <cups/cups.h>

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <cerrno>

#include "dialogs/dialog_frame.hpp"
#include "platform/errno_text.hpp"

namespace velunda {
namespace {

const QString kPrefix = QStringLiteral("Impression impossible : ");

QString CupsSays() { return QString::fromUtf8(cupsLastErrorString()); }

// The default destination's name, or the reason there is none.
bool FindDefaultPrinter(QString& name, QString& failure) {
  // Asked apart, so that a print service that is not running is told as such.
  http_t* http =
      httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
  if (http == nullptr) {
    failure = kPrefix + QStringLiteral("le service d'impression CUPS ne répond pas (%1).")
                            .arg(QString::fromLocal8Bit(cupsServer()));
    return false;
  }
  cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr);
  httpClose(http);
  if (dest == nullptr) {
    failure = kPrefix + QStringLiteral("aucune imprimante par défaut n'est définie.");
    return false;
  }
  name = QString::fromUtf8(dest->name);
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  const bool refuses = accepting != nullptr && QLatin1String(accepting) == QLatin1String("false");
  cupsFreeDests(1, dest);
  if (refuses) {
    failure =
        kPrefix + QStringLiteral("l'imprimante %1 refuse les travaux d'impression.").arg(name);
    return false;
  }
  return true;
}

}  // namespace

CupsLinePrinter::CupsLinePrinter(QString title) : title_(std::move(title)) {}

CupsLinePrinter::~CupsLinePrinter() {
  if (painter_ && painter_->isActive()) {
    painter_->end();
  }
}

QString CupsLinePrinter::Open() {
  failed_ = false;
  QString failure;
  if (!FindDefaultPrinter(destination_, failure)) {
    return failure;
  }

  file_ = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                           QStringLiteral("/velunda-impression-XXXXXX.pdf"));
  errno = 0;
  if (!file_->open()) {
    // The system's reason, in French; Qt's own text is English.
    const int err = errno;
    const QString reason =
        err != 0 ? QString::fromStdString(ErrnoText(err)) : file_->errorString();
    return kPrefix + QStringLiteral("le travail d'impression ne peut pas être écrit dans %1 (%2).")
                         .arg(QDir::tempPath(), reason);
  }
  file_->close();

  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(file_->fileName());
  printer_->setDocName(title_);
  const QPrinterInfo info = QPrinterInfo::printerInfo(destination_);
  const QPageSize size = info.isNull() ? QPageSize() : info.defaultPageSize();
  printer_->setPageSize(size.isValid() ? size : QPageSize(QPageSize::A4));
  printer_->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);

  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(printer_.get())) {
    return kPrefix + QStringLiteral("le travail d'impression ne peut pas être écrit dans %1.")
                         .arg(file_->fileName());
  }
  QFont font = MonospaceFont(13);
  font.setPointSize(10);
  painter_->setFont(font);
  const QFontMetrics metrics(painter_->font(), printer_.get());
  lineHeight_ = metrics.lineSpacing();
  ascent_ = metrics.ascent();
  pageHeight_ = printer_->pageLayout().paintRectPixels(printer_->resolution()).height();
  y_ = 0;
  return {};
}

QString CupsLinePrinter::WriteLine(const QString& line) {
  if (y_ + lineHeight_ > pageHeight_) {
    if (!printer_->newPage()) {
      failed_ = true;
      return kPrefix + QStringLiteral("erreur d'écriture en commençant une nouvelle page.");
    }
    y_ = 0;
  }
  painter_->drawText(QPoint(0, y_ + ascent_), line);
  y_ += lineHeight_;
  return {};
}

QString CupsLinePrinter::Close() {
  const bool ended = painter_ && painter_->isActive() ? painter_->end() : false;
  painter_.reset();
  printer_.reset();
  if (failed_) {
    file_.reset();
    return {};
  }
  if (!ended || QFileInfo(file_->fileName()).size() == 0) {
    file_.reset();
    return kPrefix + QStringLiteral("erreur d'écriture du travail d'impression.");
  }
  const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, destination_.toUtf8().constData(),
                                 file_->fileName().toLocal8Bit().constData(),
                                 title_.toUtf8().constData(), 0, nullptr);
  file_.reset();
  if (job == 0) {
    return kPrefix + QStringLiteral("l'imprimante %1 a refusé le travail (%2).")
                         .arg(destination_, CupsSays());
  }
  return {};
}

}  // namespace velunda
