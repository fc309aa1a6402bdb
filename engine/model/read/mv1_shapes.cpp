// Binary model shapes and physics records.
//
// Shape header (0x40 bytes read): +0x08/+0x0C shapes (count, first),
// +0x10/+0x14 shape meshes (count, first), +0x2C size of one shape vertex
// (at least 28). Shape: +0x08 name, +0x0C position, +0x10 frame,
// +0x14/+0x18 its shape meshes (count, first; consecutive). Shape mesh:
// +0x08 position, +0x0C mesh, +0x14 vertex count, +0x18 vertices of seven
// words: mesh vertex, position offset x, y, z, normal offset x, y, z. A
// frame names its shape entry at +0xD8: the count and the first of its
// shapes (consecutive), two words. Base data keeps one shape target
// per shape mesh, ordered by mesh, then by shape, within each frame.
//
// Physics header (0x14 bytes): +0x00 gravity (y), +0x04/+0x08 rigid bodies,
// +0x0C/+0x10 joints. Rigid body (0x60 bytes): +0x08 name, +0x0C position,
// +0x10 frame, +0x14 nineteen words (group, mask, shape, size, position,
// rotation, mass, dampings, restitution, friction, type, one more), kept
// as parameters 1-19 behind the frame index. Joint (0x78 bytes): +0x08
// name, +0x0C position, +0x10/+0x14 the two bodies, +0x18 twenty-four
// floats (position, rotation, linear and angular limits, spring
// stiffnesses), kept as parameters 2-25 behind the two body indices.
#include <cstring>

#include "model/read/mv1_load.h"

namespace morpotta {

namespace {

constexpr uint32_t kShapeHeaderBytes = 0x40;
constexpr uint32_t kShapeBytes = 0x1C;
constexpr uint32_t kShapeMeshBytes = 0x1C;
constexpr uint32_t kShapeVertexWords = 7;
constexpr uint32_t kPhysicsHeaderBytes = 0x14;
constexpr uint32_t kBodyBytes = 0x60;
constexpr uint32_t kJointBytes = 0x78;
constexpr int kBodyWords = 19;
constexpr int kJointWords = 24;

struct ShapeRun {
    int frame;
    int firstMesh;  // in the shape-mesh list
    int meshCount;
};

// Each shape's frame and shape meshes, each shape mesh claimed once and
// targeting a mesh of the shape's frame.
bool ReadShapeRuns(Mv1Load* load, std::vector<ShapeRun>* runs, std::vector<int>* meshOf) {
    const Mv1Image& image = load->image;
    const ModelBase* base = load->base;
    std::vector<uint8_t> claimed(load->shapeMeshes.size(), 0);
    meshOf->assign(load->shapeMeshes.size(), -1);
    for (uint32_t at : load->shapes) {
        ShapeRun run{};
        run.frame = load->Ref(image.U32(at + 0x10), load->frames, 0x0C, false, "a shape names no frame");
        run.meshCount = int(image.U32(at + 0x14));
        run.firstMesh = run.meshCount == 0 ? 0
                                           : load->Ref(image.U32(at + 0x18), load->shapeMeshes, 0x08, false,
                                                       "a shape's meshes are broken");
        if (run.frame < 0 || run.firstMesh < 0) return false;
        if (run.meshCount < 0 || run.meshCount > int(load->shapeMeshes.size()) - run.firstMesh)
            return load->Fail("a shape's meshes are broken");
        for (int s = run.firstMesh; s < run.firstMesh + run.meshCount; ++s) {
            int mesh = load->Ref(image.U32(load->shapeMeshes[size_t(s)] + 0x0C), load->meshes, 0x08, false,
                                 "a shape mesh names no mesh");
            if (mesh < 0) return false;
            if (claimed[size_t(s)] || base->meshes[mesh].frame != &base->frames[run.frame])
                return load->Fail("a shape's meshes are broken");
            claimed[size_t(s)] = 1;
            (*meshOf)[size_t(s)] = mesh;
        }
        runs->push_back(run);
    }
    return true;
}

bool FillTarget(Mv1Load* load, ModelBaseShapeTarget* target, const char* name, ModelBaseMesh* mesh, uint32_t at,
                uint32_t stride) {
    const Mv1Image& image = load->image;
    uint32_t count = image.U32(at + 0x14), first = image.U32(at + 0x18);
    if (count > 0 && !image.Has(first, uint64_t(count - 1) * stride + kShapeVertexWords * 4))
        return load->Fail("a shape's vertices lie outside the file");
    target->name = name;
    target->mesh = mesh;
    target->vertexCount = int(count);
    target->vertices = load->Take<ModelBaseShapeVertex>(count);
    if (!target->vertices) return false;
    for (uint32_t v = 0; v < count; ++v) {
        uint32_t vertex = first + v * stride;
        ModelBaseShapeVertex& out = target->vertices[v];
        out.meshVertex = int(image.U32(vertex));
        if (out.meshVertex < 0 || out.meshVertex >= mesh->vertexCount)
            return load->Fail("a shape names a vertex its mesh does not have");
        out.position = Vector3{image.F32(vertex + 4), image.F32(vertex + 8), image.F32(vertex + 12)};
        out.normal = Vector3{image.F32(vertex + 16), image.F32(vertex + 20), image.F32(vertex + 24)};
    }
    return true;
}

// One target per shape mesh: frame by frame, mesh by mesh, shape by shape.
bool BuildTargets(Mv1Load* load, const std::vector<ShapeRun>& runs, const std::vector<int>& meshOf, uint32_t stride) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    base->shapeTargets = load->Take<ModelBaseShapeTarget>(load->shapeMeshes.size());
    if (!base->shapeTargets) return false;
    std::vector<uint8_t> tied(runs.size(), 0);
    for (int i = 0; i < base->frameCount; ++i) {
        ModelBaseFrame& f = base->frames[i];
        const uint32_t entry = image.U32(load->frames[size_t(i)] + 0xD8);
        if (entry == 0) continue;
        if (!image.Has(entry, 8)) return load->Fail("a frame's shape entry lies outside the file");
        uint32_t count = image.U32(entry);
        if (count == 0) continue;
        int first = load->Ref(image.U32(entry + 4), load->shapes, 0x0C, false, "a frame's shapes are broken");
        if (first < 0) return false;
        if (count > runs.size() - size_t(first)) return load->Fail("a frame's shapes are broken");
        for (size_t s = size_t(first); s < size_t(first) + count; ++s) {
            if (tied[s] || runs[s].frame != i) return load->Fail("a frame's shapes are broken");
            tied[s] = 1;
        }
        f.firstShapeTarget = base->shapeTargets + base->shapeTargetCount;
        f.shapeCount = int(count);
        for (int m = 0; m < f.meshCount; ++m)
            for (size_t s = size_t(first); s < size_t(first) + count; ++s)
                for (int k = runs[s].firstMesh; k < runs[s].firstMesh + runs[s].meshCount; ++k) {
                    uint32_t at = load->shapeMeshes[size_t(k)];
                    if (meshOf[size_t(k)] != int(&f.firstMesh[m] - base->meshes)) continue;
                    const char* name = load->Name(image.U32(load->shapes[s] + 0x08));
                    ModelBaseShapeTarget* target = &base->shapeTargets[base->shapeTargetCount];
                    if (!name || !FillTarget(load, target, name, &f.firstMesh[m], at, stride)) return false;
                    target->shape = int(s - size_t(first));
                    ++base->shapeTargetCount;
                    ++f.shapeTargetCount;
                }
    }
    for (uint8_t t : tied)
        if (!t) return load->Fail("a shape belongs to no frame");
    return true;
}

void CopyWords(const Mv1Image& image, uint32_t at, uint32_t* out, int count) {
    for (int w = 0; w < count; ++w) out[w] = image.U32(at + 4 * uint32_t(w));
}

}  // namespace

bool ReadMv1Shapes(Mv1Load* load) {
    const Mv1Image& image = load->image;
    uint32_t header = load->Header(kMv1ShapeHeader);
    if (header == 0) return true;
    if (!image.Has(header, kShapeHeaderBytes)) return load->Fail("the shape header lies outside the file");
    uint32_t stride = image.U32(header + 0x2C);
    if (stride < kShapeVertexWords * 4) return load->Fail("the shape vertices are too small");
    if (!load->Walk(image.U32(header + 0x0C), image.U32(header + 0x08), kShapeBytes, 0x0C, &load->shapes,
                    "the shape list is broken") ||
        !load->Walk(image.U32(header + 0x14), image.U32(header + 0x10), kShapeMeshBytes, 0x08, &load->shapeMeshes,
                    "the shape-mesh list is broken"))
        return false;
    std::vector<ShapeRun> runs;
    std::vector<int> meshOf;
    if (!ReadShapeRuns(load, &runs, &meshOf) || !BuildTargets(load, runs, meshOf, stride)) return false;
    load->base->shapeCount = int(load->shapes.size());
    return true;
}

bool ReadMv1Physics(Mv1Load* load) {
    const Mv1Image& image = load->image;
    ModelBase* base = load->base;
    uint32_t header = load->Header(kMv1PhysicsHeader);
    if (header == 0) return true;
    if (!image.Has(header, kPhysicsHeaderBytes)) return load->Fail("the physics header lies outside the file");
    base->gravity = image.F32(header);
    if (!load->Walk(image.U32(header + 0x08), image.U32(header + 0x04), kBodyBytes, 0x0C, &load->bodies,
                    "the rigid-body list is broken") ||
        !load->Walk(image.U32(header + 0x10), image.U32(header + 0x0C), kJointBytes, 0x0C, &load->joints,
                    "the joint list is broken"))
        return false;
    base->rigidBodies = load->Take<ModelBaseRigidBody>(load->bodies.size());
    base->joints = load->Take<ModelBaseJoint>(load->joints.size());
    if (!base->rigidBodies || !base->joints) return false;
    for (size_t i = 0; i < load->bodies.size(); ++i) {
        uint32_t at = load->bodies[i];
        ModelBaseRigidBody& body = base->rigidBodies[i];
        int frame = load->Ref(image.U32(at + 0x10), load->frames, 0x0C, false, "a rigid body names no frame");
        if (frame < 0 || !(body.name = load->Name(image.U32(at + 0x08)))) return false;
        body.params[0] = uint32_t(frame);
        CopyWords(image, at + 0x14, body.params + 1, kBodyWords);
    }
    for (size_t i = 0; i < load->joints.size(); ++i) {
        uint32_t at = load->joints[i];
        ModelBaseJoint& joint = base->joints[i];
        int a = load->Ref(image.U32(at + 0x10), load->bodies, 0x0C, false, "a joint names no rigid body");
        int b = a < 0 ? -1 : load->Ref(image.U32(at + 0x14), load->bodies, 0x0C, false, "a joint names no rigid body");
        if (b < 0 || !(joint.name = load->Name(image.U32(at + 0x08)))) return false;
        joint.params[0] = uint32_t(a);
        joint.params[1] = uint32_t(b);
        CopyWords(image, at + 0x18, joint.params + 2, kJointWords);
    }
    base->rigidBodyCount = int(load->bodies.size());
    base->jointCount = int(load->joints.size());
    return true;
}

}  // namespace morpotta
