// Recording back end: stands in for a graphics adapter in tests. It counts
// as a present device (the model system draws nothing without one), keeps
// buffers and textures in the front end's memory, and records every state
// change and draw. It rasterises nothing: a read-back gives the last clear
// colour. No dependencies.
#include "graphics/device/recording/recording.h"

#include <algorithm>

namespace morpotta {

namespace {

struct RecordingModule {
    std::vector<DeviceCall> calls;
    std::vector<RecordedDraw> draws;
    uint32_t clearColor = 0;
};

RecordingModule& State() {
    static RecordingModule state;
    return state;
}

int Open() {
    State().calls.clear();
    State().draws.clear();
    State().clearColor = 0;
    return 0;
}

void Close() {
    // The record stays readable after the device is gone.
}

void NoteCall(const DeviceCall& call) { State().calls.push_back(call); }
int CreateBuffer(DeviceBufferRecord*) { return 0; }
void UploadBuffer(DeviceBufferRecord*, int, int) {}
void ReleaseBuffer(DeviceBufferRecord*) {}
int CreateTexture(DeviceTexture*) { return 0; }
void UploadTexture(DeviceTexture*, int) {}
void ReleaseTexture(DeviceTexture*) {}

int Draw(const DeviceState& state, const DeviceDraw& draw) {
    int stages = 0;
    while (stages < kDeviceStageCount && state.stageStates[stages][DEVICE_TSS_COLOROP] != DEVICE_TOP_DISABLE) ++stages;
    RecordedDraw r{draw, state.fvf, stages};
    // Pointers into caller memory do not outlive the call.
    r.draw.vertexMemory = nullptr;
    r.draw.indexMemory = nullptr;
    State().draws.push_back(r);
    return 0;
}

int Clear(const DeviceState&, int flags, uint32_t argb, float) {
    if (flags & DEVICE_CLEAR_TARGET) State().clearColor = argb;
    return 0;
}

int Present() { return 0; }

int ReadPixels(const DeviceState&, int, int, int width, int height, uint32_t* out) {
    std::fill(out, out + size_t(width) * size_t(height), State().clearColor);
    return 0;
}

}  // namespace

const DeviceBackend kRecordingDeviceBackend = {
    "recording", Open, Close, NoteCall, CreateBuffer, UploadBuffer, ReleaseBuffer, CreateTexture,
    UploadTexture, ReleaseTexture, Draw, Clear, Present, ReadPixels,
    nullptr,  // no programmable shaders
    nullptr,  // nothing to wait for
};

const std::vector<DeviceCall>& GetRecordedDeviceCalls() { return State().calls; }
void ClearRecordedDeviceCalls() {
    State().calls.clear();
    State().draws.clear();
}
int CountRecordedDeviceCalls(int kind) {
    return int(std::count_if(State().calls.begin(), State().calls.end(), [kind](const DeviceCall& c) { return c.kind == kind; }));
}
const std::vector<RecordedDraw>& GetRecordedDraws() { return State().draws; }

}  // namespace morpotta
