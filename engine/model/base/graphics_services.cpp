// The installed graphics and file services of the model system.
#include "model/base/graphics_services.h"

namespace {

const ModelGraphicsServices kNoServices{};
const ModelGraphicsServices* g_services = &kNoServices;
const FileAccessTable* g_files = nullptr;

}  // namespace

void SetModelGraphicsServices(const ModelGraphicsServices* services) {
    g_services = services ? services : &kNoServices;
}

const ModelGraphicsServices* GetModelGraphicsServices() { return g_services; }

void SetModelFileAccessTable(const FileAccessTable* table) { g_files = table; }

// Tests may install their own table; otherwise models read through the
// engine's current file functions, archives included.
const FileAccessTable* GetModelFileAccessTable() { return g_files ? g_files : GetFileAccessTable(); }
