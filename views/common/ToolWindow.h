#pragma once
// What every window beyond the form does alike.

class QWidget;

// Esc closes the window, from wherever its focus is.
void CloseOnEscape(QWidget* window);
