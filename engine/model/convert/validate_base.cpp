// Structural checks of finished base data, for tests and for loaders that
// want to refuse a model before it is drawn.
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "engine/log.h"
#include "model/base/model_math.h"
#include "model/convert/convert.h"

namespace morpotta {

namespace {

struct Checker {
    char* why;
    int capacity;
    bool failed = false;

    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        if (why && capacity > 0) std::snprintf(why, size_t(capacity), "%s", text);
        WriteLogFormat("Model Validate Error : %s", text);
        failed = true;
        return false;
    }
};



bool CheckFrame(Checker& c, const ModelBase* base, const ModelBaseFrame& f) {
    if (f.parent && (f.parent < base->frames || f.parent >= &f)) return c.Fail("frame %d: parent not before it", f.index);
    for (int p = 0; p < f.positionCount; ++p) {
        const ModelBasePosition& pos = f.positions[p];
        if (!IsFiniteVector3(pos.position)) return c.Fail("frame %d: position %d not finite", f.index, p);
        if (f.maxWeightsPerVertex == 0 || !pos.weightBones) continue;
        float sum = 0.0f;
        int count = 0;
        for (int w = 0; w < f.maxWeightsPerVertex && pos.weightBones[w] != -1; ++w, ++count) {
            if (pos.weightBones[w] < 0 || pos.weightBones[w] >= f.boneRefCount)
                return c.Fail("frame %d: position %d names bone slot %d", f.index, p, pos.weightBones[w]);
            if (!std::isfinite(pos.weightValues[w])) return c.Fail("frame %d: weight not finite", f.index);
            sum += pos.weightValues[w];
        }
        if (count > 0 && std::fabs(sum - 1.0f) > 0.001f)
            return c.Fail("frame %d: weights of position %d sum to %f", f.index, p, double(sum));
    }
    for (int n = 0; n < f.normalCount; ++n)
        if (!IsFiniteVector3(f.normals[n].normal)) return c.Fail("frame %d: normal %d not finite", f.index, n);
    for (int r = 0; r < f.boneRefCount; ++r)
        if (!f.boneRefs[r] || f.boneRefs[r] < base->skinBones || f.boneRefs[r] >= base->skinBones + base->skinBoneCount)
            return c.Fail("frame %d: bone reference %d dangles", f.index, r);
    if (!IsFiniteMatrix34(f.worldMatrix) || !IsFiniteMatrix34(f.localMatrix)) return c.Fail("frame %d: matrix not finite", f.index);
    return true;
}

bool CheckList(Checker& c, const ModelBaseTriangleList& l) {
    const ModelBaseMesh& mesh = *l.mesh;
    const ModelBaseFrame& f = *mesh.frame;
    if (l.vertexCount >= kModelMaxListIndices || l.indexCount >= kModelMaxListIndices || l.indexCount % 3 != 0)
        return c.Fail("list of %d vertices and %d indices", l.vertexCount, l.indexCount);
    if (l.boneCount > kModelMaxPaletteBones) return c.Fail("palette of %d bones", l.boneCount);
    for (int b = 0; b < l.boneCount; ++b)
        if (l.bones[b] < 0 || l.bones[b] >= f.boneRefCount) return c.Fail("palette names bone slot %d", l.bones[b]);
    for (int i = 0; i < l.indexCount; ++i)
        if (l.indices[i] >= l.vertexCount) return c.Fail("index %d out of %d vertices", l.indices[i], l.vertexCount);
    for (int v = 0; v < l.vertexCount; ++v) {
        int mv = l.meshVertices[v];
        if (mv < 0 || mv >= mesh.vertexCount) return c.Fail("list vertex names mesh vertex %d", mv);
        const ModelBaseMeshVertex& vertex = mesh.vertices[mv];
        if (vertex.position < 0 || vertex.position >= f.positionCount || vertex.normal < 0 ||
            vertex.normal >= f.normalCount)
            return c.Fail("mesh vertex %d names position %d / normal %d", mv, vertex.position, vertex.normal);
        const ModelBasePosition& p = f.positions[vertex.position];
        int weights = 0;
        while (p.weightBones && weights < f.maxWeightsPerVertex && p.weightBones[weights] != -1) {
            if (l.vertexKind == 1 || l.vertexKind == 2) {
                bool inPalette = false;
                for (int b = 0; b < l.boneCount && !inPalette; ++b) inPalette = l.bones[b] == p.weightBones[weights];
                if (!inPalette) return c.Fail("bone slot %d missing from a palette", p.weightBones[weights]);
            }
            ++weights;
        }
        int limit = l.vertexKind == 0 ? 0 : l.vertexKind == 1 ? 4 : l.vertexKind == 2 ? 8 : l.maxWeights;
        if (weights > limit) return c.Fail("vertex of %d weights in a list of kind %d", weights, l.vertexKind);
    }
    // Rigid vertices are floats throughout; the others mix in bone numbers.
    const float* data = static_cast<const float*>(l.vertices);
    for (int i = 0; l.vertexKind == 0 && i < l.vertexCount * l.vertexStride / 4; ++i)
        if (!std::isfinite(data[i])) return c.Fail("vertex data not finite");
    return true;
}

}  // namespace

int ValidateModelBase(const ModelBase* base, char* why, int whyCapacity) {
    Checker c{why, whyCapacity};
    for (int i = 0; i < base->frameCount; ++i)
        if (!CheckFrame(c, base, base->frames[i])) return -1;
    for (int i = 0; i < base->meshCount; ++i) {
        const ModelBaseMesh& m = base->meshes[i];
        if (m.material < -1 || m.material >= base->materialCount) return c.Fail("mesh %d material %d", i, m.material), -1;
        if (m.firstTriangleList + m.triangleListCount > base->triangleLists + base->triangleListCount)
            return c.Fail("mesh %d lists out of range", i), -1;
    }
    for (int i = 0; i < base->triangleListCount; ++i)
        if (!CheckList(c, base->triangleLists[i])) return -1;
    for (int k = 0; k < base->skinBoneCount; ++k) {
        const ModelBaseSkinBone& bone = base->skinBones[k];
        if (bone.boneFrame < 0 || bone.boneFrame >= base->frameCount) return c.Fail("skin bone %d frame", k), -1;
        if (k > 0 && base->skinBones[k - 1].boneFrame > bone.boneFrame) return c.Fail("skin bones unsorted"), -1;
    }
    return 0;
}

}  // namespace morpotta
