// Log control for engine start-up and shut-down.
#pragma once

// (Re)creates "Log.txt" in the current directory and restarts the time
// stamps and the indent; the lines written since the engine last ran (or
// since the program began) are written into it again first. Start-up calls
// it; the first write before start-up creates the file too.
void StartLog();
// Closes the file; the next write starts it again.
void EndLog();
// The absolute path of the log file in use ("" before the first start).
const char* LogFilePath();
