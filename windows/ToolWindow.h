#pragma once

class QLabel;
class QMessageBox;
class QWidget;

namespace levelbook {

// A fixed tool window: title bar with a close box only (no minimize or maximize box), kept
// out of the task bar, its current size fixed. Call on a top-level window before showing it.
void MakeFixedToolWindow(QWidget& window);

// Moves a top-level window so that it is centred on the available area of its screen.
void CentreOnScreen(QWidget& window);

// A message box at least as wide as its title needs with the title bar's buttons, so that
// the window manager never shortens the title. Call before showing the box.
void WidenToTitle(QMessageBox& box);

// A label sizes itself to its text as it stands in the current font; its top-left stays.
void AutoSizeLabel(QLabel& label);

}  // namespace levelbook
