#pragma once

class QWidget;

// Esc no longer closes the window: a working window (its chart, its loaded
// set, a run) is closed only by its own button or its close box. Other keys,
// and Esc where a child uses it (an open drop-down list), are untouched.
void keepOpenOnEscape(QWidget* window);
