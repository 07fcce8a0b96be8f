#pragma once
#include <QPainter>
#include <QPalette>
#include <QRectF>

#include "sessions/frequency_picture.hpp"

namespace velunda {

// Paints the spectrum picture into `area`: the filter's band or notch shaded, the input and
// output traces in two colours with their legend, a frequency axis in Hz and a dB axis, a
// marker on the carrier found. Colours come from `palette` (light or dark desktops). Lines are
// antialiased only if the painter is: the window's ten repaints a second stay cheap.
void PaintSpectrum(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                   const QPalette& palette);

// The two halves of that picture, for a window that keeps the first (it changes only with the
// size, the colours, the rate and the filter) and repaints the traces over it ten times a second.
void PaintSpectrumBackground(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                             const QPalette& palette);
void PaintSpectrumTraces(QPainter& painter, const QRectF& area, const SpectrumPicture& picture,
                         const QPalette& palette);
// Where the traces go in `area`, for text in `font`: all that changes between those repaints.
QRectF SpectrumPlot(const QFont& font, const QRectF& area);

// The dB range drawn.
inline constexpr float kSpectrumTopDb = 0.0f;
inline constexpr float kSpectrumBottomDb = -100.0f;

}  // namespace velunda
