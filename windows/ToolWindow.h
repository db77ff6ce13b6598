#pragma once

class QLabel;
class QWidget;

namespace levelbook {

// A fixed tool window: title bar with a close box only (no minimize or maximize box), kept
// out of the task bar, its current size fixed. Call on a top-level window before showing it.
void MakeFixedToolWindow(QWidget& window);

// Moves a top-level window so that it is centred on the available area of its screen.
void CentreOnScreen(QWidget& window);

// A label sizes itself to its text as it stands in the current font; its top-left stays.
void AutoSizeLabel(QLabel& label);

}  // namespace levelbook
