#pragma once

// The one application object of a Qt test suite: made on first use (on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise) and kept to the
// end of the process, so that Qt is never torn down by the exit handlers.

#include <QApplication>

QApplication& TestApplication();

// Lets queued events, timers and repaints run.
void Settle(int rounds = 5);
