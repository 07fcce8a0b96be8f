#pragma once
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "sessions/frequency_picture.hpp"
#include "sessions/program_state.hpp"

namespace velunda {

// "Spectre": the receiver's audio and the filter's result, with the filter drawn over them.
// A window of its own beside the main one: resizable, opened and closed by F2 (in a session, the
// key reaches the session's screen, which toggles the spectrum; on this window, F2 closes it).
// Closing it never ends the session. Ten times a second it takes the frames due and repaints
// itself when the picture changed.
class SpectrumWindow final : public QWidget, public SpectrumView {
 public:
  explicit SpectrumWindow(ProgramState& state, QWidget* parent = nullptr);
  ~SpectrumWindow() override;

  void SpectrumShownChanged(bool shown) override;
  void SpectrumFed() override {}

  // The picture painted at the last repaint.
  const SpectrumPicture& Painted() const { return painted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Tick();

  ProgramState& state_;
  QTimer timer_;
  QElapsedTimer sinceTick_;
  SpectrumPicture painted_;
  bool paintedOnce_ = false;
  // Everything but the traces, kept between repaints.
  QPixmap background_;
  qint64 backgroundPalette_ = 0;
};

}  // namespace velunda
