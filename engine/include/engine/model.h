// 3-D models: the public functions of the model system.
#pragma once

// v as a row vector with w = 1 times a row-major 4x4 matrix (translation
// in m[12..14]); no divide. Returns out.
float* TransformPointByMatrix(float out[3], const float v[3], const float m[16]);
// The same without the translation.
float* TransformDirectionByMatrix(float out[3], const float v[3], const float m[16]);

// Refills every model texture graph from its kept file data after the
// graphics device was lost and rebuilt; 0.
int RestoreModelTextures();

// Draws a model instance: its visible meshes, opaque ones first, then the
// translucent ones, in frame and mesh order. 0, or -1 for a bad handle.
int DrawModel(int modelHandle);
// 1 when the mesh draws in the translucent pass, 0 when opaque, -1 for a
// bad handle or index.
int IsModelMeshTranslucent(int modelHandle, int meshIndex);
// Around a device reset: release every model's device buffers before it,
// rebuild them after it. 0.
int ReleaseModelVertexBuffers();
int RecreateModelVertexBuffers();
