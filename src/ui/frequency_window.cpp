#include "ui/frequency_window.hpp"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "dialogs/frequency_painter.hpp"

namespace velunda {
namespace {

constexpr int kTickMs = 100;

bool SamePicture(const SpectrumPicture& a, const SpectrumPicture& b) {
  return a.SampleRate == b.SampleRate && a.HasTraces == b.HasTraces && a.InputDb == b.InputDb &&
         a.OutputDb == b.OutputDb && a.Overlay == b.Overlay;
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
  if (!paintedOnce_ || !SamePicture(PictureOf(state_.Spectrum, state_.Dsp), painted_)) {
    update();
  }
}

void SpectrumWindow::paintEvent(QPaintEvent*) {
  painted_ = PictureOf(state_.Spectrum, state_.Dsp);
  paintedOnce_ = true;
  QPainter painter(this);
  PaintSpectrum(painter, rect(), painted_, palette());
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
