// The log pane routines: appending lines to a multi-line edit control (window thread).
#pragma once

#include <windows.h>

#include "app/log_pane.h"
#include "device/log_sink.h"

// Appends text as a new line: clearFirst empties the pane first; lineBreaks CR LF pairs go
// before the text when the pane is not empty. The text is not undoable.
void AppendLogLine(HWND edit, const char* text, int lineBreaks, int clearFirst);

// selectAll non-zero selects the whole text; otherwise drops any selection and puts the caret
// after the last character.
void SetLogCaret(HWND edit, int selectAll);

// Makes LogPrintf write through AppendLogLine. Called once at start-up.
void InstallEditLogWriter();

// The static sink: all zero, never attached to the device object.
extern LogSink gLogSink;
