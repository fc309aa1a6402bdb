// Log control for engine start-up and shut-down.
#pragma once

// (Re)creates "Log.txt" in the current directory, empty, and restarts the
// time stamps and the indent. Start-up calls it; the first write before
// start-up does the same.
void StartLog();
// Closes the file; the next write starts it again.
void EndLog();
// The absolute path of the log file in use ("" before the first start).
const char* LogFilePath();
