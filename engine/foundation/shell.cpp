// Opening a web address through the platform's desktop shell.
#include "engine/shell.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "platform/shell.h"

using namespace morpotta;

int OpenWebAddress(const char* address) {
    const PublicCall call("OpenWebAddress");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!address) return RefuseNull("address");
    if (!platform::IsSafeWebAddress(address))
        return Refuse("the address is not a plain http or https address");
    if (!platform::OpenWebAddress(address)) return Refuse("the browser could not be asked");
    return 0;
}
