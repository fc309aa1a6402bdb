// Recording back end: stands in for a graphics adapter in tests. It counts
// as a present device (the model system draws nothing without one), keeps
// buffers and textures in the front end's memory, and records every state
// change and draw. It rasterises nothing: a read-back gives the last clear
// colour. No dependencies.
#include "graphics/device/recording/recording.h"
#include "platform/lasting_state.h"

#include <algorithm>

namespace morpotta {

namespace {

struct RecordingModule {
    std::vector<DeviceCall> calls;
    std::vector<RecordedDraw> draws;
    uint32_t clearColor = 0;
};

RecordingModule& RecordingState() {
    return platform::LastingState<RecordingModule>();
}

int RecordingOpen() {
    RecordingState().calls.clear();
    RecordingState().draws.clear();
    RecordingState().clearColor = 0;
    return 0;
}

void RecordingClose() {
    // The record stays readable after the device is gone.
}

void RecordingNoteCall(const DeviceCall& call) { RecordingState().calls.push_back(call); }
int RecordingCreateBuffer(DeviceBufferRecord*) { return 0; }
void RecordingUploadBuffer(DeviceBufferRecord*, int, int) {}
void RecordingReleaseBuffer(DeviceBufferRecord*) {}
int RecordingCreateTexture(DeviceTexture*) { return 0; }
void RecordingUploadTexture(DeviceTexture*, int) {}
void RecordingReleaseTexture(DeviceTexture*) {}

int RecordingDraw(const DeviceState& state, const DeviceDraw& draw) {
    int stages = 0;
    while (stages < kDeviceStageCount && state.stageStates[stages][DEVICE_TSS_COLOROP] != DEVICE_TOP_DISABLE) ++stages;
    RecordedDraw r{draw, state.fvf, stages};
    // Pointers into caller memory do not outlive the call.
    r.draw.vertexMemory = nullptr;
    r.draw.indexMemory = nullptr;
    RecordingState().draws.push_back(r);
    return 0;
}

int RecordingClear(const DeviceState&, int flags, uint32_t argb, float) {
    if (flags & DEVICE_CLEAR_TARGET) RecordingState().clearColor = argb;
    return 0;
}

int RecordingPresent() { return 0; }

int RecordingReadPixels(const DeviceState&, int, int, int width, int height, uint32_t* out) {
    std::fill(out, out + size_t(width) * size_t(height), RecordingState().clearColor);
    return 0;
}

}  // namespace

const DeviceBackend kRecordingDeviceBackend = {
    "recording", RecordingOpen, RecordingClose, RecordingNoteCall,
    RecordingCreateBuffer, RecordingUploadBuffer, RecordingReleaseBuffer,
    RecordingCreateTexture, RecordingUploadTexture, RecordingReleaseTexture,
    RecordingDraw, RecordingClear, RecordingPresent, RecordingReadPixels,
    nullptr,  // no programmable shaders
    nullptr,  // nothing to wait for
};

const std::vector<DeviceCall>& GetRecordedDeviceCalls() { return RecordingState().calls; }
void ClearRecordedDeviceCalls() {
    RecordingState().calls.clear();
    RecordingState().draws.clear();
}
int CountRecordedDeviceCalls(int kind) {
    return int(std::count_if(RecordingState().calls.begin(), RecordingState().calls.end(), [kind](const DeviceCall& c) { return c.kind == kind; }));
}
const std::vector<RecordedDraw>& GetRecordedDraws() { return RecordingState().draws; }

}  // namespace morpotta
