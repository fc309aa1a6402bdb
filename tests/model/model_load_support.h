// A started model system with in-memory files and a log to read, for the
// tests that load models by file name. Every test ends with the system
// terminated and no tracked block left.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "engine/log.h"
#include "engine/memory.h"
#include "engine/model.h"
#include "engine/text.h"
#include "fake_files.h"
#include "foundation/log_internal.h"
#include "model/base/memory_chain.h"
#include "model/base/model_handles.h"
#include "model/instance/model_system.h"
#include "mqo_writer.h"
#include "scoped_temp_dir.h"

using namespace morpotta;

class ModelLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(1);
        StartLog();
        liveBefore_ = GetMemoryTotals().liveBlocks;
        InitializeModelSystem();
    }
    void TearDown() override {
        TerminateModelSystem();
        SetModelAllocFailureAt(0);
        EndLog();
        EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore_) << "tracked blocks leaked";
    }
    int Load(const std::string& name, const std::string& text) {
        files_.Add(name, text);
        return LoadModelFile(name.c_str());
    }
    int Load(const MqoDocument& doc) { return Load("model.mqo", WriteMqo(doc)); }
    // The log as UTF-8 (the engine writes code page 932).
    std::string Log() const {
        std::string raw = ScopedTempDir::ReadFile(dir_.path() / "Log.txt"), utf8;
        return ConvertCp932ToUtf8(raw, &utf8) ? utf8 : raw;
    }
    static ModelBase* BaseOf(int model) { return GetModelBase(GetModelBaseHandle(model)); }
    static ModelInstance* InstanceOf(int model) { return GetModelInstance(model); }

    ScopedTempDir dir_;
    FakeFiles files_;
    size_t liveBefore_ = 0;
};

// One object: a unit quad in the xz plane with a material.
inline MqoDocument MakeQuadDocument() {
    MqoDocument doc;
    MqoMaterialSpec m;
    m.name = "mat";
    doc.materials.push_back(m);
    MqoObjectSpec o;
    o.name = "quad";
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
    MqoFaceSpec f;
    f.corners = {0, 1, 2, 3};
    f.material = 0;
    o.faces.push_back(f);
    doc.objects.push_back(o);
    return doc;
}
