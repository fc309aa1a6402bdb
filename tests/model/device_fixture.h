// The recording device for the model tests: a camera every drawn model
// sees, the device bytes of base data, and a started model system on the
// device that loads base data built in the test as a binary file by name.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "engine/graph.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/device.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/devicestate.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_services.h"
#include "model_load_support.h"
#include "mv1_writer.h"

using namespace morpotta;

// A camera at (0, 0, -10) looking down +z into a 640x480 screen, 60 degrees.
inline void SetCameraLookingDownZ() {
    float view[16] = {};
    for (int i = 0; i < 4; ++i) view[i * 5] = 1.0f;
    view[14] = 10.0f;
    const float f = 1.0f / std::tan(0.5236f), nearZ = 1.0f, farZ = 1000.0f;
    float proj[16] = {};
    proj[0] = f * 0.75f;
    proj[5] = f;
    proj[10] = farZ / (farZ - nearZ);
    proj[11] = 1.0f;
    proj[14] = -nearZ * farZ / (farZ - nearZ);
    SetDeviceViewMatrix(view);
    SetDeviceProjectionMatrix(proj);
    DeviceViewport vp = {0, 0, 640, 480, 0.0f, 1.0f};
    SendDeviceViewport(&vp);
}

// Every list's vertex and index bytes as the device holds them.
inline std::vector<unsigned char> BaseDeviceBytes(const ModelBase* base) {
    std::vector<unsigned char> out;
    for (int i = 0; i < base->triangleListCount; ++i) {
        const ModelBaseTriangleList& l = base->triangleLists[i];
        if (!l.deviceBlock) continue;
        const unsigned char* v = l.deviceBlock->vertexBuffer->bytes + l.firstVertex * l.deviceBlock->stride;
        out.insert(out.end(), v, v + l.vertexCount * l.deviceBlock->stride);
        const unsigned char* x = l.deviceBlock->indexBuffer->bytes + l.firstIndex * 2;
        out.insert(out.end(), x, x + (l.indexCount + l.outlineIndexCount) * 2);
    }
    return out;
}

class ModelOnDeviceTest : public ModelLoadTest {
protected:
    void SetUp() override {
        ModelLoadTest::SetUp();
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
        ResetCameraAndLights();
        InstallModelGraphicsServices();
        SetCameraLookingDownZ();
    }
    void TearDown() override {
        TerminateModelSystem();  // the buffers go while the device is there
        DeleteAllGraphs();
        ForgetModelBuiltinGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        ModelLoadTest::TearDown();
    }
    // Writes the base data (then freed) as a binary file and loads it by
    // name: the model handle, or -1.
    int LoadAsBinary(int baseHandle, const std::string& name) {
        if (baseHandle < 0) return -1;
        std::string file = Mv1Writer(Mv1WriteOptions{}).Write(GetModelBase(baseHandle));
        FreeModelBaseRecord(baseHandle);
        files_.Add(name, file);
        return LoadModelFile(name.c_str());
    }
};
