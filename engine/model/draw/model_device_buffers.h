// Device vertex and index buffers of model base data: triangle lists share
// pooled blocks by vertex kind, layout and texture-coordinate sets; the
// buffers are released before a device reset and rebuilt after it.
#pragma once
#include "engine/model.h"
#include "model/base/model_records.h"

namespace morpotta {

constexpr int kModelBlockIndexLimit = 0xC0000;
constexpr int kModelBlockVertexByteLimit = 0x60000;

// Stride of a rigid vertex of the first layout in the shared buffers:
// position, normal, two colours, then four floats per texture-coordinate
// set.
int ModelRigidDeviceStride(int uvSets);
uint32_t ModelRigidDeviceFvf(int uvSets);

// A mesh whose material has a normal map has tangent data: its lists take
// the second vertex layout, which carries each vertex's tangent and
// binormal (rigid: position, tangent, binormal, normal, then as the first
// layout; skinned: the source vertex, tangent, binormal, then as the first
// layout). Its buffers, like those of skinned lists, exist only while the
// device runs programmable shaders.
bool ModelMeshHasTangentLayout(const ModelBaseMesh* mesh);

// A list's vertices in its block's layout, positions and normals (skinned:
// the whole source vertex) taken from source (the list's vertices or an
// instance's copy of them), the tangent data of the second layout, then
// diffuse, specular and the texture sets.
void WriteDeviceVertices(const ModelBaseTriangleList& list, const void* source, unsigned char* out, int stride);

// 0 (nothing to do without a device or when built already) or -1 when a
// buffer cannot be made; a failure leaves nothing built.
int BuildBaseDeviceBuffers(ModelBase* base);
// Also releases the shape buffers of the base's instances.
void ReleaseBaseDeviceBuffers(ModelBase* base);
// BuildBaseDeviceBuffers, then the shape buffers of every instance.
int RebuildBaseDeviceBuffers(ModelBase* base);

// withInstances: the instances' shape buffers too.
int BuildModelBaseDeviceBuffers(int baseHandle, int withInstances);
int ReleaseModelBaseDeviceBuffers(int baseHandle);

// Around a device reset: release every model's device buffers before it,
// rebuild them after it. 0.
int ReleaseModelVertexBuffers();
int RecreateModelVertexBuffers();

}  // namespace morpotta
