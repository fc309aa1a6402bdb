// Whole-frame passes over base data that rewrite a frame's normals, mesh
// vertices, triangle lists and shape targets. Both build every new array
// before they change anything: when memory runs out the frame stays as it
// was.
#pragma once
#include <cstddef>
#include <vector>

#include "model/base/model_records.h"

namespace morpotta {

// Smooth normals by a smoothing angle (radians, taken as it stands: 0
// keeps every face's own normal unless neighbours are coplanar). Faces that
// meet across an edge share a normal while the angle between them stays
// within the limit; a neighbour wound the other way never does. 1 when
// done, 0 for a frame without meshes, -1 (logged) when the model system is
// not started or memory is short.
int RecalculateFrameNormals(ModelBaseFrame* frame, float smoothingAngle);

// Merges bitwise-equal positions (with equal weight lists), bytewise-equal
// mesh vertices and list vertices that name the same mesh vertex. 0, or -1
// (logged) when work memory is short.
int OptimizeFrameVertices(ModelBaseFrame* frame);

// Work shared by the passes: the chain block of an array is freed only
// when the array is a block of its own.
void ReleaseBaseArray(ModelBase* base, void* array);
// A triangle list's vertex data changed: its drawing copies go, the
// vertex array and the outline indices are filled again.
void RefreshTriangleList(ModelBaseTriangleList* list);

// A unit vector, or 0 for a vector with no length.
Vector3 NormalisedOrZero(Vector3 v);
// The unit normal of a triangle, (b - a) x (c - a) normalised; 0 when it
// has no area.
Vector3 UnitFaceNormal(const Vector3& a, const Vector3& b, const Vector3& c);

// Blocks a pass takes: work memory from the model allocator (no base
// given), or new arrays of a base, each a chain block of its own. They go
// again with the holder unless kept.
class PassBlocks {
public:
    explicit PassBlocks(ModelBase* chainOwner = nullptr) : base_(chainOwner) {}
    PassBlocks(const PassBlocks&) = delete;
    PassBlocks& operator=(const PassBlocks&) = delete;
    ~PassBlocks();
    void* TakeBytes(size_t bytes);
    template <typename T>
    T* Take(size_t count) {
        return static_cast<T*>(TakeBytes(sizeof(T) * (count ? count : 1)));
    }
    void Keep() { blocks_.clear(); }

private:
    ModelBase* base_;
    std::vector<void*> blocks_;
};

}  // namespace morpotta
