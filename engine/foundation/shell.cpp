// Opening a web address through the platform's desktop shell.
#include "engine/shell.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "platform/shell.h"

using namespace morpotta;

int OpenWebAddress(const char* address) {
    if (!AllowOnlyOnEngineThread("OpenWebAddress")) return -1;
    if (!address) return WriteLogText("No address given in OpenWebAddress");
    if (!platform::IsSafeWebAddress(address))
        return WriteLogText("The address is not a plain http or https address in OpenWebAddress");
    if (!platform::OpenWebAddress(address)) return WriteLogText("The browser could not be asked in OpenWebAddress");
    return 0;
}
