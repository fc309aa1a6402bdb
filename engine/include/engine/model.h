// 3-D models: the public functions of the model system.
#pragma once

// v as a row vector with w = 1 times a row-major 4x4 matrix (translation
// in m[12..14]); no divide. Returns out; a null out, v or m is refused:
// null, after a log line naming the function.
float* TransformPointByMatrix(float out[3], const float v[3], const float m[16]);
// The same without the translation (and refusing null the same way).
float* TransformDirectionByMatrix(float out[3], const float v[3], const float m[16]);


// Draws a model instance: its visible meshes, opaque ones first, then the
// translucent ones, in frame and mesh order. 0, or -1 for a bad handle.
// Without a graphics device (the software path, HardwareRenderingActive()
// 0) the instance is brought up to date but nothing is drawn: still 0.
int DrawModel(int modelHandle);
// 1 when the mesh draws in the translucent pass, 0 when opaque, -1 for a
// bad handle or index.
int IsModelMeshTranslucent(int modelHandle, int meshIndex);


// Reads a model file whole through the engine's file functions and makes
// its first instance: the model handle, or -1 (logged). Every line a
// refusal logs names the file: one no reader takes (a picture, a text
// file), a reader's reason for refusing a broken one (its message, behind
// the reader's prefix, ends with the file's name), and a call made while
// the model system is not running. An MQO text file must end
// its lines with CR LF: one whose lines end with LF alone is refused (-1
// and a log line). A texture is read by its path under the model's folder,
// or else by its file name alone; one found in neither place logs one line
// naming both, and the model draws white there.
int LoadModelFile(const char* fileName);
// Drops one reference of base data; the last one frees it. 0, or -1 for a
// handle that names no base data.
int ReleaseModelBaseData(int baseHandle);
// Rewrite every frame of base data: smooth normals by a smoothing angle in
// radians (0 keeps each face's own normal), or merged duplicate positions
// and vertices. 0, or -1 for a bad handle, short memory (the frame at hand
// is left as it was) or base data whose models keep vertex copies of their
// own.
int RecalculateModelBaseNormals(int baseHandle, float smoothingAngle);
int OptimizeModelBaseVertices(int baseHandle);

// Model instances. Each returns -1 for a bad handle or index.
int GetModelBaseHandle(int modelHandle);
int GetModelBoundingBox(int modelHandle, float* minOut, float* maxOut);  // float[3] each or null
int SetModelPosition(int modelHandle, float x, float y, float z);
int SetModelRotation(int modelHandle, float x, float y, float z);  // radians
// For an MQO model the count includes the "NoMaterial" entry the reader adds
// after the file's materials (its index is the file's material count): the
// material of the faces that name none. It is there even when every face
// names a material.
// A mesh with no material at all (a binary model's mesh that names none, an
// X mesh with an empty material list) draws opaque white with a default
// material that the count leaves out and the functions below do not reach.
int GetModelMaterialCount(int modelHandle);
int SetModelMaterialType(int modelHandle, int materialIndex, int type);  // shared by every instance
int GetModelMaterialType(int modelHandle, int materialIndex);
int SetModelMaterialSpecularColor(int modelHandle, int materialIndex, float r, float g, float b, float a);
int SetModelMaterialOutlineWidth(int modelHandle, int materialIndex, float width);
int SetModelFrameOpacity(int modelHandle, int frameIndex, float rate);
int DetachModelAnimation(int modelHandle, int animationSlot);
int ReleaseModelInstance(int modelHandle);
int DeleteModel(int modelHandle);
