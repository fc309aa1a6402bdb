// The desktop: a web address handed to the user's default browser.
#pragma once

// Opens an http or https address, already URL-encoded (printable ASCII, no
// spaces), in the default browser. 0 when the request was handed on, -1
// (with a log line) for a refused address or when no browser could be asked.
int OpenWebAddress(const char* address);
