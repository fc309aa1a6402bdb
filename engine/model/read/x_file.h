// X model files: the token stream over the text and binary encodings, the
// tree of data objects the parser builds, and the pass that turns that
// tree into a read model.
//
// The file starts with a 16-byte header: "xof ", a version (not checked),
// "txt " or "bin " (compressed encodings are refused) and "0064" for 64-bit
// floats (anything else: 32-bit). Data objects of the templates below are
// kept as XObject records with their parsed data; objects of any other
// template are skipped whole, nested blocks included.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/log.h"
#include "engine/vecmath.h"
#include "model/base/memory_chain.h"

namespace morpotta {

constexpr int kXMaxFaceCorners = 32;
constexpr int kXMaxDepth = 64;  // the root and 63 nested objects
constexpr int kXMaxSeparators = 40;
constexpr size_t kXNameMax = 512;  // longer names and strings are an error

// Template kinds: the index of the template in the parser's name table.
enum XTemplateKind : int {
    X_KIND_NONE = 0,
    X_KIND_REFERENCE = 1,  // an object named in braces, kept in its place among the children
    X_KIND_COORDS2D = 2,
    X_KIND_MATRIX4X4 = 3,
    X_KIND_COLOR_RGBA = 4,
    X_KIND_COLOR_RGB = 5,
    X_KIND_MATERIAL = 6,
    X_KIND_TEXTURE_FILENAME = 7,
    X_KIND_MESH_FACE = 8,
    X_KIND_MESH_TEXTURE_COORDS = 9,
    X_KIND_MESH_NORMALS = 10,
    X_KIND_MESH_MATERIAL_LIST = 11,
    X_KIND_INDEXED_COLOR = 12,
    X_KIND_MESH_VERTEX_COLORS = 13,
    X_KIND_MESH = 14,
    X_KIND_FRAME_TRANSFORM_MATRIX = 15,
    X_KIND_FRAME = 16,
    X_KIND_FLOAT_KEYS = 17,
    X_KIND_TIMED_FLOAT_KEYS = 18,
    X_KIND_ANIMATION_KEY = 19,
    X_KIND_ANIMATION_OPTION = 20,
    X_KIND_ANIMATION = 21,
    X_KIND_ANIMATION_SET = 22,
    X_KIND_SKIN_MESH_HEADER = 23,
    X_KIND_SKIN_WEIGHTS = 24,
    X_KIND_COUNT = 29,
};

// Binary token codes.
enum XBinaryToken : int {
    X_TOKEN_NAME = 1,
    X_TOKEN_STRING = 2,
    X_TOKEN_INTEGER = 3,
    X_TOKEN_GUID = 5,
    X_TOKEN_INTEGER_LIST = 6,
    X_TOKEN_FLOAT_LIST = 7,
    X_TOKEN_OPEN_BRACE = 10,
    X_TOKEN_CLOSE_BRACE = 11,
    X_TOKEN_TEMPLATE = 31,
};

struct XTokenStream {
    const uint8_t* data;
    size_t position;
    size_t end;
    bool binary;
    bool doubles;  // binary floats are 64-bit
    char separators[kXMaxSeparators];
    int separatorCount;
    bool isSeparator[256];
    // Binary list cursor: the type, size and unread values of the list
    // token being read (type 0: none).
    int listType;
    uint32_t listCount;
    uint32_t listLeft;
};

// Faces as the file stores them: per face its corner count, then the
// corner indices.
struct XFaceList {
    int count;
    int maxCorners;
    int packedCount;
    int* packed;
};

struct XMaterialData {
    float faceColour[4];
    float power;
    float specular[3];
    float emissive[3];
};

struct XMeshData {
    int vertexCount;
    Vector3* vertices;
    XFaceList faces;
};

struct XMeshNormalsData {
    int normalCount;
    Vector3* normals;
    XFaceList faces;
};

struct XTextureCoordsData {
    int count;
    float (*uvs)[2];  // u, v
};

struct XMaterialListData {
    int materialCount;
    int faceCount;
    int* faceMaterials;
};

struct XIndexedColour {
    int index;
    float rgba[4];
};

struct XVertexColoursData {
    int count;
    XIndexedColour* colours;
};

struct XTimedKey {
    uint32_t time;
    int valueCount;
    float* values;
};

struct XFloatKeysData {
    int valueCount;
    float* values;
};

struct XAnimationKeyData {
    int keyType;
    int keyCount;
    XTimedKey* keys;
};

struct XAnimationOptionData {
    int openClosed;
    int positionQuality;
};

struct XSkinMeshHeaderData {
    int maxWeightsPerVertex;
    int maxWeightsPerFace;
    int boneCount;
};

struct XSkinWeightsData {
    const char* frameName;
    int count;
    uint32_t* vertices;
    float* weights;
    float offset[16];
};

struct XObject {
    int kind;
    const char* name;  // "" when the object has none; a reference: the name it gives
    XObject* parent;
    XObject* firstChild;
    XObject* lastChild;
    XObject* nextSibling;
    XObject* nextInFile;
    int number;  // the material's or frame's number in file order; -1 when none
    void* built;  // what the build pass made of the object
    union {
        XMaterialData material;
        const char* textureFileName;
        XFaceList meshFace;
        XTextureCoordsData textureCoords;
        XMeshNormalsData meshNormals;
        XMaterialListData materialList;
        XIndexedColour indexedColour;
        XVertexColoursData vertexColours;
        XMeshData mesh;
        float matrix[16];
        XFloatKeysData floatKeys;
        XTimedKey timedKey;
        XAnimationKeyData animationKey;
        XAnimationOptionData animationOption;
        XSkinMeshHeaderData skinMeshHeader;
        XSkinWeightsData skinWeights;
    } data;
};

struct XNameIndex;

struct XFileContext {
    XObject* first;  // the root, then every object in file order
    XObject* last;
    MemoryChain chain;  // objects, names and the arrays of their data
    unsigned char* arena;  // the unused end of the newest small-object block
    size_t arenaLeft;
    int frameCount;
    int meshCount;
    int materialCount;
    int skinWeightsCount;
    uint32_t stringBytes;  // each name: its length + 1, rounded up to 4
    XNameIndex* names;     // made by the first lookup by name
};

// Token stream.
void InitXTokenStream(XTokenStream* s, const void* data, size_t size, size_t start, bool binary, bool doubles);
// Text: a "{" or "}" alone, or a run of other characters up to a
// separator or a brace; comments and separators before it are skipped.
// The token's length, 0 at the end of the data, -1 for a token longer
// than capacity - 1 (nothing is copied then).
int ReadXTextToken(XTokenStream* s, char* out, size_t capacity);
// Skips a block: up to its "{" and on to the matching "}". Tokens before
// the "{" are passed; a "}" met first stays unread and ends the skip.
// 0, or -1 when the data ends inside the block.
int SkipXTextBlock(XTokenStream* s);
// Binary: the next token's code without moving (-1 at the end).
int PeekXBinaryToken(const XTokenStream* s);
// Steps over one token; -1 when its bytes run past the data.
int SkipXBinaryToken(XTokenStream* s);
// A NAME token into out; -1 when the next token is no name or too long.
int ReadXBinaryName(XTokenStream* s, char* out, size_t capacity);
int SkipXBinaryBlock(XTokenStream* s);

// Values inside a data object, from either encoding. Binary integers come
// from INTEGER and INTEGER_LIST tokens, floats from FLOAT_LIST tokens, a
// value list may be split over several tokens of its type.
enum XValueResult {
    X_VALUE_OK = 0,
    X_VALUE_WRONG_TOKEN = 1,  // binary: the next token is no list of the wanted type
    X_VALUE_LEFT_OVER = 2,    // binary: a list of the other type still has values
    X_VALUE_BAD = 3,          // text: no number, or the data ended
};
XValueResult ReadXInteger(XTokenStream* s, int64_t* out);
XValueResult ReadXFloat(XTokenStream* s, float* out);
// A string (text: in double quotes; binary: a STRING token) into out.
XValueResult ReadXString(XTokenStream* s, char* out, size_t capacity);
// Binary: values of the current list not read yet (0 for text).
uint32_t XListLeft(const XTokenStream* s);
// Bytes left to read: counts in the data are bounded by them.
size_t XBytesLeft(const XTokenStream* s);

// Object tree.
void* AllocXMemory(XFileContext* context, size_t size);
const char* CopyXString(XFileContext* context, const char* text);
XObject* AddXObject(XFileContext* context, XObject* parent, int kind, const char* name);
int AddXReference(XFileContext* context, XObject* object, const char* name);
// The first child of the kind, or reference to an object of the kind, in
// the order they stand in the file.
XObject* FindXChildObject(XFileContext* context, const XObject* object, int kind);
// Children of the kind and the objects of the kind that references name,
// in file order, into out (capacity entries); the number found.
int ListXChildObjects(XFileContext* context, const XObject* object, int kind, XObject** out, int capacity);
// The first object of the kind with the name, in file order.
XObject* FindXObjectByName(XFileContext* context, int kind, const char* name);
void FreeXObjectTree(XFileContext* context);

// The template kind for a name (compared ignoring ASCII case), or
// X_KIND_NONE.
int FindXTemplate(const char* name);
const char* XTemplateName(int kind);
// Parses the data of a new object of a kind that has data, at the stream
// position just past its "{". 0, or -1 (logged when the reason is the
// data's shape).
int ParseXTemplateData(XFileContext* context, XTokenStream* s, XObject* object);

// The whole file into the tree under context->first (the root made by the
// caller). 0, or -1: silently when the data has no "xof " magic, logged
// otherwise.
int ParseXFile(const char* data, size_t size, XFileContext* context);

struct ReadModel;
// The tree into the read model. 0, or -1 after one log line.
int BuildReadModelFromXObjects(XFileContext* context, ReadModel* model);

// Logs a failure of the X reader; -1.
inline int LogXFileError(const char* message) { return WriteLogText(message); }

}  // namespace morpotta
