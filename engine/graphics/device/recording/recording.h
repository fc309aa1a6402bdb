// Recording device: a device that draws nothing and keeps every call it
// receives, so tests can see exactly what reached the device.
#pragma once
#include "graphics/device/device_internal.h"

#include <vector>

namespace morpotta {

const std::vector<DeviceCall>& GetRecordedDeviceCalls();
void ClearRecordedDeviceCalls();
int CountRecordedDeviceCalls(int kind);
// Draws as they arrived, with the state they were drawn with.
struct RecordedDraw {
    DeviceDraw draw;
    uint32_t fvf;
    int stageCount;  // stages before the first disabled colour operation
};
const std::vector<RecordedDraw>& GetRecordedDraws();

}  // namespace morpotta
