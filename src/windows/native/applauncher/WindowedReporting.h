// Where the windowed launcher's diagnostics go: a process without a console
// shows its last error in a message box and writes its trace and errors to
// a standard error that a parent redirected, or to the parent's console.
#pragma once

#include "Log.h"

// With tracing on and no standard error of its own, this process writes to
// the console of its parent, when the parent has one.
void attachParentConsoleForTrace();

// The last-error appender of the windowed launcher: writes the last error
// line to standard error when there is one (or to the console attached for
// tracing), and shows it once in a modal error box titled with the
// executable's base name. When no box can be shown (no interactive desktop),
// the line on standard error is all.
class ErrorDialogAppender : public LogAppender {
public:
    void write(const LogRecord& record) override;

private:
    bool shown = false;
};
