// The desktop shell: handing a web address to the user's default browser.
// Back ends: posix (runs xdg-open directly, no command shell in between)
// and headless (records each address for tests instead of opening it).
#pragma once
#include <string>
#include <vector>

namespace morpotta::platform {

// One back end: a table of functions registered in one place (backends.cpp).
struct ShellBackend {
    const char* name;
    bool (*openWebAddress)(const char* address);  // true when the request was handed on
};

// Selects the back end by name ("posix", "headless"); false for an unknown
// name. The default is "posix".
bool SelectShellBackend(const char* name);
const ShellBackend& Shell();

// Opens an http or https address in the default browser. The address must
// already be URL-encoded: printable ASCII only, no spaces. Anything else is
// refused (false) so that no host program ever sees an option or a byte it
// could misread.
bool OpenWebAddress(const char* address);
bool IsSafeWebAddress(const char* address);

// Headless back end: the addresses opened so far, oldest first.
std::vector<std::string> HeadlessOpenedAddresses();
void HeadlessClearOpenedAddresses();

}  // namespace morpotta::platform
