#include "ui/frequency_window.hpp"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "dialogs/frequency_painter.hpp"

namespace velunda {
namespace {

constexpr int kTickMs = 100;

// What the kept background is drawn from: the rate's axis and the filter's overlay.
bool SameBackground(const SpectrumPicture& a, const SpectrumPicture& b) {
  return a.SampleRate == b.SampleRate && a.Overlay == b.Overlay;
}

}  // namespace

SpectrumWindow::SpectrumWindow(ProgramState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state) {
  setObjectName("Spectre");
  setWindowTitle("Spectre");
  setMinimumSize(320, 200);
  resize(560, 300);
  setAttribute(Qt::WA_OpaquePaintEvent);
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  state_.Spectrum.View = this;
}

SpectrumWindow::~SpectrumWindow() {
  if (state_.Spectrum.View == this) {
    state_.Spectrum.View = nullptr;
  }
}

void SpectrumWindow::SpectrumShownChanged(bool shown) {
  if (shown) {
    show();
    sinceTick_.start();
    timer_.start();
    update();
  } else {
    timer_.stop();
    hide();
  }
}

void SpectrumWindow::Tick() {
  const auto elapsed = static_cast<uint32_t>(sinceTick_.restart());
  SpectrumTakeDue(state_.Spectrum, elapsed);
  // Repaints only when the picture changed: frames came, or a key changed the filter.
  if (!paintedOnce_) {
    update();
    return;
  }
  const SpectrumPicture picture = PictureOf(state_.Spectrum, state_.Dsp);
  if (!SameBackground(picture, painted_)) {
    update();
  } else if (picture.HasTraces != painted_.HasTraces || picture.InputDb != painted_.InputDb ||
             picture.OutputDb != painted_.OutputDb) {
    // Only the traces moved: the plot is all that needs painting and sending to the screen.
    update(SpectrumPlot(font(), rect()).toAlignedRect());
  }
}

void SpectrumWindow::paintEvent(QPaintEvent* event) {
  SpectrumPicture picture = PictureOf(state_.Spectrum, state_.Dsp);
  const bool sameBackground = paintedOnce_ && SameBackground(picture, painted_);
  painted_ = std::move(picture);
  paintedOnce_ = true;
  const qreal ratio = devicePixelRatioF();
  if (!sameBackground || background_.size() != size() * ratio ||
      background_.devicePixelRatio() != ratio || backgroundPalette_ != palette().cacheKey()) {
    background_ = QPixmap(size() * ratio);
    background_.setDevicePixelRatio(ratio);
    QPainter backgroundPainter(&background_);
    backgroundPainter.setFont(font());
    PaintSpectrumBackground(backgroundPainter, rect(), painted_, palette());
    backgroundPalette_ = palette().cacheKey();
    if (event->rect() != rect()) {
      update();  // the rest of the window shows the old background
    }
  }
  QPainter painter(this);
  const QRect dirty = event->rect();
  painter.drawPixmap(dirty, background_,
                     QRectF(dirty.topLeft() * ratio, dirty.size() * ratio).toAlignedRect());
  PaintSpectrumTraces(painter, rect(), painted_, palette());
}

void SpectrumWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  timer_.stop();
  SetSpectrumShown(state_.Spectrum, false);
}

void SpectrumWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F2) {
    SetSpectrumShown(state_.Spectrum, false);
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velunda
