#include "dialogs/frequency_painter.hpp"

#include <algorithm>
#include <cmath>

namespace velunda {
namespace {

bool Dark(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }

// Two trace colours that stand out on either background.
QColor InputColour(const QPalette& palette) {
  return Dark(palette) ? QColor(0x6c, 0xb4, 0xee) : QColor(0x1f, 0x5f, 0xa8);
}
QColor OutputColour(const QPalette& palette) {
  return Dark(palette) ? QColor(0xf5, 0xa6, 0x23) : QColor(0xc4, 0x4a, 0x00);
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.c_str()); }

// Maps hertz and decibels to the plot's pixels.
struct Axes {
  QRectF plot;
  double nyquist;
  double X(double hz) const {
    return plot.left() + plot.width() * std::clamp(hz / nyquist, 0.0, 1.0);
  }
  double Y(double db) const {
    const double t = (kSpectrumTopDb - db) / (kSpectrumTopDb - kSpectrumBottomDb);
    return plot.top() + plot.height() * std::clamp(t, 0.0, 1.0);
  }
};

// Frequency ticks every 500 Hz (every 1000 Hz on a narrow plot), dB ticks every 20 dB.
void PaintGrid(QPainter& p, const Axes& a, const QPalette& palette) {
  const QFontMetricsF metrics(p.font());
  QColor grid = palette.color(QPalette::Text);
  grid.setAlphaF(0.15f);
  const double step = a.plot.width() < 360 ? 1000.0 : 500.0;
  for (double hz = 0.0; hz <= a.nyquist + 0.5; hz += step) {
    const double x = a.X(hz);
    p.setPen(QPen(grid, 1.0));
    p.drawLine(QPointF(x, a.plot.top()), QPointF(x, a.plot.bottom()));
    p.setPen(palette.color(QPalette::Text));
    const QString label = QString::number(hz, 'f', 0);
    const double w = metrics.horizontalAdvance(label);
    p.drawText(
        QPointF(std::min(x - w / 2, a.plot.right() - w), a.plot.bottom() + metrics.ascent() + 3),
        label);
  }
  for (float db = kSpectrumTopDb; db >= kSpectrumBottomDb; db -= 20.0f) {
    const double y = a.Y(db);
    p.setPen(QPen(grid, 1.0));
    p.drawLine(QPointF(a.plot.left(), y), QPointF(a.plot.right(), y));
    p.setPen(palette.color(QPalette::Text));
    const QString label = QString::number(db, 'f', 0);
    p.drawText(
        QPointF(a.plot.left() - metrics.horizontalAdvance(label) - 4, y + metrics.ascent() / 2 - 1),
        label);
  }
  p.drawText(QPointF(a.plot.right() - metrics.horizontalAdvance("Hz"),
                     a.plot.bottom() + 2 * metrics.height() + 1),
             "Hz");
  p.drawText(QPointF(a.plot.left() - metrics.horizontalAdvance("dB") - 4,
                     a.plot.top() - metrics.descent() - 4),
             "dB");
  p.setPen(QPen(palette.color(QPalette::Text), 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(a.plot);
}

// The band the filter keeps, or the one it takes out (hatched), and the carrier's marker.
void PaintOverlay(QPainter& p, const Axes& a, const SpectrumOverlay& o, const QPalette& palette) {
  QColor shade = palette.color(QPalette::Highlight);
  if (o.band != SpectrumOverlay::Band::None) {
    const QRectF band(QPointF(a.X(o.low), a.plot.top()), QPointF(a.X(o.high), a.plot.bottom()));
    shade.setAlphaF(o.band == SpectrumOverlay::Band::Kept ? 0.22f : 0.45f);
    p.fillRect(band, o.band == SpectrumOverlay::Band::Kept ? QBrush(shade)
                                                           : QBrush(shade, Qt::BDiagPattern));
  }
  if (o.carrier > 0.0) {
    const double x = a.X(o.carrier);
    p.setPen(QPen(palette.color(QPalette::Text), 1.5, Qt::DashLine));
    p.drawLine(QPointF(x, a.plot.top()), QPointF(x, a.plot.bottom()));
    const QString label = "porteuse " + QString::number(o.carrier, 'f', 0) + " Hz";
    const QFontMetricsF metrics(p.font());
    const double w = metrics.horizontalAdvance(label);
    p.drawText(QPointF(x + 4 + w > a.plot.right() ? x - 4 - w : x + 4,
                       a.plot.top() + metrics.ascent() + 2),
               label);
  }
}

// One trace as a polyline: with a thin cosmetic pen the raster engine draws it directly,
// without stroking an outline first.
void PaintTrace(QPainter& p, const Axes& a, const std::array<float, kSpectrumBins>& db,
                int32_t rate, const QPen& pen) {
  std::array<QPointF, kSpectrumBins> points;
  for (int k = 0; k < kSpectrumBins; ++k) {
    points[static_cast<size_t>(k)] =
        QPointF(a.X(BinFrequency(k, rate)), a.Y(db[static_cast<size_t>(k)]));
  }
  p.setPen(pen);
  p.drawPolyline(points.data(), kSpectrumBins);
}

QPen TracePen(const QPainter& p, const QColor& colour) {
  // Antialiased pictures (the recordings' image) keep a 1.5-pixel line; the window's
  // repaints use one device pixel per screen pixel.
  if (p.testRenderHint(QPainter::Antialiasing)) {
    return QPen(colour, 1.5);
  }
  QPen pen(colour, std::max(1.0, std::round(p.device()->devicePixelRatioF())));
  pen.setCosmetic(true);
  return pen;
}

// The filter's title at the left above the plot, the legend at the right.
void PaintHeader(QPainter& p, const Axes& a, const SpectrumPicture& picture,
                 const QPalette& palette) {
  const QFontMetricsF metrics(p.font());
  const double base = a.plot.top() - metrics.descent() - 4;
  double x = a.plot.right();
  for (const auto& [text, colour] : {std::pair{QString("Sortie"), OutputColour(palette)},
                                     std::pair{QString("Entrée"), InputColour(palette)}}) {
    x -= metrics.horizontalAdvance(text);
    p.setPen(palette.color(QPalette::Text));
    p.drawText(QPointF(x, base), text);
    x -= 20;
    p.setPen(QPen(colour, 3.0));
    p.drawLine(QPointF(x, base - metrics.ascent() / 3),
               QPointF(x + 15, base - metrics.ascent() / 3));
    x -= 12;
  }
  p.setPen(palette.color(QPalette::Text));
  const QString title = FromUtf8(picture.Overlay.title);
  const double room = x - a.plot.left() - 12;
  p.drawText(QPointF(a.plot.left() + 12, base), metrics.elidedText(title, Qt::ElideRight, room));
}

}  // namespace

QRectF SpectrumPlot(const QFont& font, const QRectF& area) {
  const QFontMetricsF metrics(font);
  const double left = metrics.horizontalAdvance("-100") + 12;
  const double top = metrics.height() + 10;
  const double bottom = 2 * metrics.height() + 8;
  return area.adjusted(left, top, -12, -bottom);
}

void PaintSpectrumBackground(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                             const QPalette& palette) {
  painter.save();
  painter.fillRect(area, palette.color(QPalette::Base));
  const Axes axes{SpectrumPlot(painter.font(), area), picture.SampleRate / 2.0};
  PaintOverlay(painter, axes, picture.Overlay, palette);
  PaintGrid(painter, axes, palette);
  PaintHeader(painter, axes, picture, palette);
  painter.restore();
}

void PaintSpectrumTraces(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                         const QPalette& palette) {
  if (!picture.HasTraces) {
    return;
  }
  painter.save();
  const Axes axes{SpectrumPlot(painter.font(), area), picture.SampleRate / 2.0};
  painter.setClipRect(axes.plot);
  painter.setBrush(Qt::NoBrush);
  PaintTrace(painter, axes, picture.InputDb, picture.SampleRate,
             TracePen(painter, InputColour(palette)));
  PaintTrace(painter, axes, picture.OutputDb, picture.SampleRate,
             TracePen(painter, OutputColour(palette)));
  painter.restore();
}

void PaintSpectrum(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                   const QPalette& palette) {
  PaintSpectrumBackground(painter, area, picture, palette);
  PaintSpectrumTraces(painter, area, picture, palette);
}

}  // namespace velunda
