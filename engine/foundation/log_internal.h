// Log control for engine start-up and shut-down, and for probes.
#pragma once

// (Re)creates "Log.txt" in the current directory and restarts the time
// stamps and the indent; the lines written since the engine last ran (or
// since the program began) are written into it again first. Start-up calls
// it, and only it empties the file: a write before start-up or after EndLog
// appends (creating the file when missing). A symbolic link at "Log.txt" is
// never written through: the log then says so on stderr and writes nothing.
void StartLog();
// Closes the file; a later write appends to it, with the time stamps still
// running, until the next StartLog.
void EndLog();
// The absolute path of the log file in use ("" before the first start).
const char* LogFilePath();

// While one lives, the lines the calling thread writes are dropped (other
// threads log as before; a fatal error is still written). For probes whose
// failures are expected, such as the places a texture may lie or a file that
// may be a picture or a movie: the caller says in one line of its own when
// nothing was found.
class LogMuteScope {
public:
    LogMuteScope();
    ~LogMuteScope();
    LogMuteScope(const LogMuteScope&) = delete;
    LogMuteScope& operator=(const LogMuteScope&) = delete;
};
