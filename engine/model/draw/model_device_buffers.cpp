// Pooled device buffers of base data. Rigid lists of the first layout have
// a fixed vertex format; skinned lists and lists of the second (tangent)
// layout get buffers only while the device runs programmable shaders (they
// are skinned and normal-mapped there), skinned ones in their source layout
// followed by the tangent data of their layout, the colours and texture
// coordinates; otherwise their pools stay empty and those lists draw from
// memory.
#include "model/draw/model_device_buffers.h"

#include <algorithm>
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "model/base/model_handles.h"
#include "model/draw/model_shapes.h"

namespace morpotta {

namespace {

constexpr int kPoolUvSets = 9;      // 0..8 texture-coordinate sets
constexpr int kPoolsPerKind = 2 * kPoolUvSets;
constexpr int kTangentBytes = 24;  // tangent and binormal

int PoolUvSets(int pool) { return pool % kPoolUvSets; }
int PoolLayout(int pool) { return pool % kPoolsPerKind / kPoolUvSets; }
int PoolKind(int pool) { return pool / kPoolsPerKind; }

int PoolOf(const ModelBaseTriangleList& list) {
    int uvSets = std::clamp(list.mesh->uvChannelCount, 0, kPoolUvSets - 1);
    const int layout = ModelMeshHasTangentLayout(list.mesh) ? 1 : 0;
    return list.vertexKind * kPoolsPerKind + layout * kPoolUvSets + uvSets;
}

// Only rigid lists of the first layout can be drawn without shaders.
bool PoolHasBuffers(int pool) { return pool < kPoolUvSets || DeviceShadersAvailable(); }

// Bytes of a vertex before its colours.
int HeadBytes(int kind, int layout, int sourceStride) {
    return (kind == 0 ? 24 : sourceStride) + layout * kTangentBytes;
}

int PoolStride(int pool, const ModelBaseTriangleList& list) {
    return HeadBytes(PoolKind(pool), PoolLayout(pool), list.vertexStride) + 8 + 16 * PoolUvSets(pool);
}

ModelDeviceBlock* OpenBlock(ModelDevicePools* pools, int pool, int stride) {
    auto* block = static_cast<ModelDeviceBlock*>(AllocMemoryZero(sizeof(ModelDeviceBlock), __FILE__, __LINE__));
    if (!block) return nullptr;
    block->stride = stride;
    block->fvf = pool < kPoolUvSets ? ModelRigidDeviceFvf(PoolUvSets(pool)) : 0;
    if (pools->last[pool])
        pools->last[pool]->next = block;
    else
        pools->first[pool] = block;
    pools->last[pool] = block;
    ++pools->blockCount[pool];
    ++pools->totalBlocks;
    return block;
}

int ListIndexCount(const ModelBaseTriangleList& list) { return list.indexCount + list.outlineIndexCount; }

// Places every list of kinds 0..2 in its pool's last block, opening a new
// block when the list would reach a limit. A list with no vertices or no
// indices takes no room: alone in its pool it would open a block the
// device cannot make buffers of, and the whole model would lose them.
bool AssignBlocks(ModelBase* base) {
    ModelDevicePools* pools = &base->devicePools;
    for (int i = 0; i < base->triangleListCount; ++i) {
        ModelBaseTriangleList& list = base->triangleLists[i];
        list.deviceBlock = nullptr;
        if (list.vertexKind > 2 || !list.mesh || list.vertexCount <= 0 || ListIndexCount(list) <= 0) continue;
        int pool = PoolOf(list);
        if (!PoolHasBuffers(pool)) continue;
        int stride = PoolStride(pool, list);
        int bytes = stride * list.vertexCount;
        ModelDeviceBlock* block = pools->last[pool];
        if (!block || (block->indexCount > 0 && (block->indexCount + ListIndexCount(list) >= kModelBlockIndexLimit ||
                                                 block->vertexBytes + bytes >= kModelBlockVertexByteLimit)))
            block = OpenBlock(pools, pool, stride);
        if (!block) return false;
        list.deviceBlock = block;
        list.firstVertex = block->vertexBytes / stride;
        list.firstIndex = block->indexCount;
        block->vertexBytes += bytes;
        block->indexCount += ListIndexCount(list);
    }
    return true;
}

}  // namespace

bool ModelMeshHasTangentLayout(const ModelBaseMesh* mesh) {
    const ModelBase* base = mesh->frame ? mesh->frame->base : nullptr;
    if (!base || mesh->material < 0 || mesh->material >= base->materialCount) return false;
    return ModelMaterialHasNormalMap(base->materials[mesh->material]);
}

void WriteDeviceVertices(const ModelBaseTriangleList& list, const void* source, unsigned char* out, int stride) {
    const ModelBaseMesh& mesh = *list.mesh;
    const bool rigid = list.vertexKind == 0;
    const int layout = ModelMeshHasTangentLayout(&mesh) ? 1 : 0;
    const int tail = HeadBytes(list.vertexKind, layout, list.vertexStride);
    const int uvSets = (stride - tail - 8) / 16;
    // Rigid: position, then (second layout) tangent and binormal, then the
    // normal; skinned: the source vertex, then the tangent data.
    const int tangentAt = rigid ? 12 : list.vertexStride, normalAt = rigid ? 12 + layout * kTangentBytes : 0;
    const auto* src = static_cast<const unsigned char*>(source);
    for (int v = 0; v < list.vertexCount; ++v, out += stride, src += list.vertexStride) {
        const ModelBaseMeshVertex& mv = mesh.vertices[list.meshVertices[v]];
        if (rigid) {
            std::memcpy(out, src, 12);
            std::memcpy(out + normalAt, src + 16, 12);
        } else {
            std::memcpy(out, src, size_t(list.vertexStride));
        }
        if (layout) {
            const ModelBaseNormal& n = mesh.frame->normals[mv.normal];
            std::memcpy(out + tangentAt, &n.tangent, 12);
            std::memcpy(out + tangentAt + 12, &n.binormal, 12);
        }
        uint32_t diffuse = uint32_t(mv.diffuse[3]) << 24 | mv.diffuse[0] << 16 | mv.diffuse[1] << 8 | mv.diffuse[2];
        uint32_t specular =
            uint32_t(mv.specular[3]) << 24 | mv.specular[0] << 16 | mv.specular[1] << 8 | mv.specular[2];
        std::memcpy(out + tail, &diffuse, 4);
        std::memcpy(out + tail + 4, &specular, 4);
        for (int t = 0; t < uvSets; ++t) {
            const float uv[4] = {t < kModelUvChannels ? mv.uv[t][0] : 0.0f, t < kModelUvChannels ? mv.uv[t][1] : 0.0f,
                                 0.0f, 0.0f};
            std::memcpy(out + tail + 8 + 16 * t, uv, sizeof(uv));
        }
    }
}

namespace {

bool CreateBlockBuffers(ModelDeviceBlock* block) {
    block->vertexBuffer = CreateDeviceVertexBuffer(block->vertexBytes, DEVICE_USAGE_WRITEONLY, block->fvf, 0);
    block->indexBuffer =
        CreateDeviceIndexBuffer(block->indexCount * 2, DEVICE_USAGE_WRITEONLY, DEVICE_FMT_INDEX16, 0);
    return block->vertexBuffer && block->indexBuffer;
}

// The outline triangles with their second and third corners swapped: turned
// round, the back faces the outline pass draws face the front, and the pass
// culls as its mesh does, so a software rasteriser keeps one cull state
// from a mesh to its outline. The first corner, which flat values come
// from, stays first.
void WriteTurnedOutlineIndices(const ModelBaseTriangleList& list, uint16_t* out) {
    const int count = list.outlineIndexCount - list.outlineIndexCount % 3;
    for (int i = 0; i < count; i += 3) {
        out[i] = list.outlineIndices[i];
        out[i + 1] = list.outlineIndices[i + 2];
        out[i + 2] = list.outlineIndices[i + 1];
    }
    for (int i = count; i < list.outlineIndexCount; ++i) out[i] = list.outlineIndices[i];
}

bool FillBlocks(ModelBase* base) {
    for (int i = 0; i < base->triangleListCount; ++i) {
        ModelBaseTriangleList& list = base->triangleLists[i];
        ModelDeviceBlock* block = list.deviceBlock;
        if (!block) continue;
        void* vertices = nullptr;
        void* indices = nullptr;
        int bytes = block->stride * list.vertexCount;
        if (LockDeviceVertexBuffer(block->vertexBuffer, list.firstVertex * block->stride, bytes, &vertices, 0) != 0)
            return false;
        WriteDeviceVertices(list, list.vertices, static_cast<unsigned char*>(vertices), block->stride);
        UnlockDeviceVertexBuffer(block->vertexBuffer);
        if (LockDeviceIndexBuffer(block->indexBuffer, list.firstIndex * 2, ListIndexCount(list) * 2, &indices, 0) !=
            0)
            return false;
        std::memcpy(indices, list.indices, size_t(list.indexCount) * 2);
        WriteTurnedOutlineIndices(list, static_cast<uint16_t*>(indices) + list.indexCount);
        UnlockDeviceIndexBuffer(block->indexBuffer);
    }
    return true;
}

}  // namespace

int ModelRigidDeviceStride(int uvSets) { return 32 + 16 * uvSets; }

uint32_t ModelRigidDeviceFvf(int uvSets) {
    uint32_t fvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DEVICE_FVF_DIFFUSE | DEVICE_FVF_SPECULAR |
                   DeviceFvfTexCount(uvSets);
    for (int t = 0; t < uvSets; ++t) fvf |= DeviceFvfTexCoordSize4(t);
    return fvf;
}

void ReleaseBaseDeviceBuffers(ModelBase* base) {
    for (ModelInstance* in = base->firstInstance; in; in = in->next) ReleaseInstanceShapeBuffers(in);
    ModelDevicePools* pools = &base->devicePools;
    for (int p = 0; p < kModelDevicePoolCount; ++p) {
        for (ModelDeviceBlock* b = pools->first[p]; b;) {
            ModelDeviceBlock* next = b->next;
            if (b->vertexBuffer) ReleaseDeviceVertexBuffer(b->vertexBuffer);
            if (b->indexBuffer) ReleaseDeviceIndexBuffer(b->indexBuffer);
            FreeMemory(b);
            b = next;
        }
    }
    std::memset(pools, 0, sizeof(*pools));
    for (int i = 0; base->triangleLists && i < base->triangleListCount; ++i) base->triangleLists[i].deviceBlock = nullptr;
}

int BuildBaseDeviceBuffers(ModelBase* base) {
    if (!HardwareRenderingActive() || base->devicePools.built) return 0;
    ReleaseBaseDeviceBuffers(base);
    base->devicePools.release = ReleaseBaseDeviceBuffers;
    base->devicePools.rebuild = RebuildBaseDeviceBuffers;
    bool ok = AssignBlocks(base);
    for (int p = 0; ok && p < kModelDevicePoolCount; ++p)
        for (ModelDeviceBlock* b = base->devicePools.first[p]; ok && b; b = b->next) ok = CreateBlockBuffers(b);
    if (ok) ok = FillBlocks(base);
    if (!ok) {
        WriteLogText("Model : device buffers could not be made");
        ReleaseBaseDeviceBuffers(base);
        return -1;
    }
    base->devicePools.built = 1;
    return 0;
}

int RebuildBaseDeviceBuffers(ModelBase* base) {
    if (base->devicePools.built) return 0;
    if (BuildBaseDeviceBuffers(base) != 0) return -1;
    int result = 0;
    for (ModelInstance* in = base->firstInstance; in; in = in->next)
        if (CreateInstanceShapeBuffers(in) != 0) result = -1;
    return result;
}

int BuildModelBaseDeviceBuffers(int baseHandle, int withInstances) {
    ModelBase* base = IsModelSystemReady() ? GetModelBase(baseHandle) : nullptr;
    if (!base) return -1;
    return withInstances ? RebuildBaseDeviceBuffers(base) : BuildBaseDeviceBuffers(base);
}

int ReleaseModelBaseDeviceBuffers(int baseHandle) {
    ModelBase* base = IsModelSystemReady() ? GetModelBase(baseHandle) : nullptr;
    if (!base) return -1;
    ReleaseBaseDeviceBuffers(base);
    return 0;
}

int ReleaseModelVertexBuffers() {
    if (!IsModelSystemReady()) return 0;
    for (int slot = 0; slot < GetModelBaseTableSize(); ++slot)
        if (ModelBase* base = GetModelBase(GetModelBaseHandleOfSlot(slot))) ReleaseBaseDeviceBuffers(base);
    return 0;
}

int RecreateModelVertexBuffers() {
    if (!IsModelSystemReady()) return 0;
    for (int slot = 0; slot < GetModelBaseTableSize(); ++slot)
        if (ModelBase* base = GetModelBase(GetModelBaseHandleOfSlot(slot))) RebuildBaseDeviceBuffers(base);
    return 0;
}

}  // namespace morpotta
