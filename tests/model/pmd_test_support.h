// Reading PMD files in the tests: into a read model (to look at what the
// reader builds) or by file name through the model system.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "fake_graphics.h"
#include "model/read/pmd_reader.h"
#include "model_load_support.h"
#include "pmd_samples.h"

using namespace morpotta;

inline std::string Cp932(const std::string& utf8) {
    std::string out;
    return ConvertUtf8ToCp932(utf8, &out) ? out : utf8;
}

// A file read into a read model, freed at the end.
class PmdRead {
public:
    explicit PmdRead(const std::string& bytes, int physicsMode = PMD_PHYSICS_BAKE) : bytes_(bytes) {
        bytes_.push_back('\0');
        params_ = ModelLoadParams{bytes_.data(), bytes.size(), "model.pmd", "model", nullptr, nullptr, nullptr};
        load.params = &params_;
        load.physicsMode = physicsMode;
        InitReadModel(&load.model);
        result = ReadPmdModel(&load);
    }
    ~PmdRead() {
        FreeReadModel(&load.model);
        FreePmdLoad(&load);
    }
    ReadModelFrame* Frame(int index) const {
        ReadModelFrame* f = load.model.frames.first;
        for (int i = 0; f && i < index; ++i) f = f->next;
        return f;
    }
    ReadModelMesh* Mesh(int index) const {
        ReadModelMesh* m = load.model.meshes.first;
        for (int i = 0; m && i < index; ++i) m = m->next;
        return m;
    }
    ReadModelMaterial* Material(int index) const {
        ReadModelMaterial* m = load.model.materials.first;
        for (int i = 0; m && i < index; ++i) m = m->next;
        return m;
    }
    PmdLoad load{};
    int result = -1;

private:
    std::string bytes_;
    ModelLoadParams params_{};
};

// Loads by file name; textures the files lack stand in as white.
class PmdLoadTest : public ModelLoadTest {
protected:
    FakeGraphics graphics_;
    int LoadPmd(const PmdDocument& d, const std::string& name = "model.pmd") { return Load(name, WritePmd(d)); }
};
