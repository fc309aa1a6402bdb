// The registered tables of the subsystems above the foundation.
#include "foundation/subsystems.h"

namespace {

struct Registry {
    const EngineSubsystem* tables[kMaxEngineSubsystems] = {};
    int count = 0;
};

Registry g_registry;

}  // namespace

int RegisterEngineSubsystem(const EngineSubsystem* subsystem) {
    if (!subsystem) return -1;
    for (int i = 0; i < g_registry.count; ++i)
        if (g_registry.tables[i] == subsystem) return 0;
    if (g_registry.count == kMaxEngineSubsystems) return -1;
    g_registry.tables[g_registry.count++] = subsystem;
    return 0;
}

void ClearEngineSubsystems() { g_registry = Registry{}; }

void CallEngineSubsystems(void (*EngineSubsystem::*entry)()) {
    for (int i = 0; i < g_registry.count; ++i)
        if (auto call = g_registry.tables[i]->*entry) call();
}

int StartEngineGraphics() {
    for (int i = 0; i < g_registry.count; ++i)
        if (auto start = g_registry.tables[i]->startGraphics; start && start() != 0) return -1;
    return 0;
}

void PostToEngineSubsystems(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (int i = 0; i < g_registry.count; ++i)
        if (auto handle = g_registry.tables[i]->handlePostedMessage) handle(message, wParam, lParam);
}
