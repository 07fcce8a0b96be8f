#pragma once
#include <QString>

class QDialog;
class QFont;
class QWidget;

namespace velunda {

// A fixed dialog frame: caption, client size in logical pixels, title bar with a close button
// only, not resizable.
void SetupDialogFrame(QDialog& dialog, const QString& caption, int width, int height);

// Puts the window in the middle of the screen it is on.
void CentreOnScreen(QWidget& window);

// The design's fonts, by pixel height; Qt falls back to the desktop's own faces.
QFont SansSerifFont(int pixels, bool bold = false);  // "MS Sans Serif"
QFont MonospaceFont(int pixels);                     // "Courier New"

}  // namespace velunda
