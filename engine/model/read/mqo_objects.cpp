// The MQO object pass: every Object chunk becomes one frame with one mesh.
// The file stores positions in model space, so each object's positions are
// taken into its frame's space by the inverse of the frame's accumulated
// matrix.
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/log.h"
#include "engine/model.h"
#include "model/read/mqo_reader.h"

namespace morpotta {

namespace {

constexpr float kDegrees = 3.14159265358979323846f / 180.0f;
constexpr int kMaxMirrorAxis = 7;



void ReadVector(MqoText* text, Vector3* out) {
    out->x = ReadMqoFloat(text);
    out->y = ReadMqoFloat(text);
    out->z = ReadMqoFloat(text);
}

int ReadVertices(MqoObject* o) {
    MqoText* text = &o->r->text;
    ReadModelMesh* mesh = o->mesh;
    int count = ReadMqoInt(text);
    // Each position takes at least three one-character numbers.
    if (count < 0 || size_t(count) > (text->size - text->position) / 6)
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの vertex の数が不正です");
    Vector3* positions = AllocReadModelArray<Vector3>(&o->r->model, size_t(count));
    if (!positions) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの頂点座標を保存するメモリ領域の確保に失敗しました");
    if (!ExpectMqoToken(text, "{")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの vertex 後に { がありません");
    for (int i = 0; i < count; ++i) {
        ReadVector(text, &positions[i]);
        positions[i].z = -positions[i].z;
    }
    if (!ExpectMqoToken(text, "}")) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの vertex の終端に } がありません");
    mesh->positions = positions;
    mesh->positionCount = count;
    return 0;
}

// The object's own transform: scaling, the turns about x, y and z (a zero
// angle skipped), then the translation, its z negated like the positions.
Matrix44 LocalMatrix(const MqoObject* o) {
    Matrix44 m = MakeScalingMatrix(o->scale.x, o->scale.y, o->scale.z);
    const float ax = -o->rotation.y * kDegrees, ay = -o->rotation.x * kDegrees, az = o->rotation.z * kDegrees;
    if (ax != 0.0f) m = MakeProductMatrix(m, MakeXRotationMatrix(ax));
    if (ay != 0.0f) m = MakeProductMatrix(m, MakeYRotationMatrix(ay));
    if (az != 0.0f) m = MakeProductMatrix(m, MakeZRotationMatrix(az));
    m.m[3][0] = o->translation.x;
    m.m[3][1] = o->translation.y;
    m.m[3][2] = -o->translation.z;
    return m;
}

Matrix44 AccumulatedMatrix(const ReadModelFrame* frame) {
    Matrix44 m = frame->transform;
    for (const ReadModelFrame* p = frame->parent; p; p = p->parent) m = MakeProductMatrix(m, p->transform);
    return m;
}

void PlaceObject(MqoObject* o) {
    ReadModelFrame* frame = o->frame;
    frame->transform = LocalMatrix(o);
    Matrix44 inverse = MakeInverseMatrix(AccumulatedMatrix(frame));
    ReadModelMesh* mesh = o->mesh;
    for (int i = 0; mesh && i < mesh->positionCount; ++i) {
        Vector3 p = mesh->positions[i];
        TransformPointByMatrix(&mesh->positions[i].x, &p.x, &inverse.m[0][0]);
    }
    frame->rotation[0] = frame->rotation[1] = frame->rotation[2] = 0.0f;
    frame->scale = Vector3{1.0f, 1.0f, 1.0f};
    frame->translation = Vector3{0.0f, 0.0f, 0.0f};
}

int ReadObjectBody(MqoObject* o) {
    MqoText* text = &o->r->text;
    for (;;) {
        if (NextMqoToken(text) != MQO_TOKEN_OK)
            return FailMqoObject(o, "MQO Load Error : Object %s チャンクの解析中にエラーが発生しました");
        const char* word = text->token;
        if (MqoTokenIs(word, "}")) return 0;
        if (MqoTokenIs(word, "visible")) o->frame->visible = ReadMqoInt(text) == 15 ? 1 : 0;
        else if (MqoTokenIs(word, "scale")) ReadVector(text, &o->scale);
        else if (MqoTokenIs(word, "rotation")) ReadVector(text, &o->rotation);
        else if (MqoTokenIs(word, "translation")) ReadVector(text, &o->translation);
        else if (MqoTokenIs(word, "facet")) o->frame->smoothingAngle = ReadMqoFloat(text) * kDegrees;
        else if (MqoTokenIs(word, "mirror")) o->mirrorType = ReadMqoInt(text);
        else if (MqoTokenIs(word, "mirror_axis")) {
            o->mirrorAxis = ReadMqoInt(text);
            if (o->mirrorAxis < 0 || o->mirrorAxis > kMaxMirrorAxis)
                return WriteLogFormat("MQO Load Error : Object %s チャンクの mirror_axis( %d )が不正です", o->name,
                                      o->mirrorAxis);
        } else if (MqoTokenIs(word, "vertex") || MqoTokenIs(word, "face")) {
            // Positions or faces after the faces were read have nothing to belong to.
            if (o->facesRead) return FailMqoObject(o, "MQO Load Error : Object %s チャンクの解析中にエラーが発生しました");
            if ((MqoTokenIs(word, "vertex") ? ReadVertices(o) : ReadMqoFaces(o)) != 0) return -1;
        }
    }
}

// The depth, when the first word names it (any other first word is
// dropped); closed is set when the object ends at once.
int ReadDepth(MqoObject* o, int* depth, bool* closed) {
    MqoText* text = &o->r->text;
    if (NextMqoToken(text) != MQO_TOKEN_OK)
        return FailMqoObject(o, "MQO Load Error : Object %s チャンクの解析中にエラーが発生しました");
    *closed = MqoTokenIs(text->token, "}");
    *depth = MqoTokenIs(text->token, "depth") ? ReadMqoInt(text) : 0;
    if (*depth < 0 || *depth >= kMqoMaxDepth)
        return WriteLogFormat("MQO Load Error : Object %s チャンクの depth( %d )が不正です", o->name, *depth);
    return 0;
}

}  // namespace

int ReadMqoObject(MqoReader* r, const char* name) {
    MqoText* text = &r->text;
    MqoObject o{};
    o.r = r;
    o.scale = Vector3{1.0f, 1.0f, 1.0f};
    o.name = name;
    o.localOfFile.assign(size_t(r->fileMaterialCount) + 1, 0);
    if (!ExpectMqoToken(text, "{")) return WriteLogText("MQO Load Error : Object チャンク名の後に { がありません");
    int depth = 0;
    bool closed = false;
    if (ReadDepth(&o, &depth, &closed) != 0) return -1;
    ReadModelFrame* parent = depth > 0 ? r->frameAtDepth[depth - 1] : nullptr;
    o.frame = AddReadModelFrame(&r->model, name, parent);
    if (!o.frame) return WriteLogText("MQO Load Error : フレームオブジェクトの追加に失敗しました");
    o.frame->scale = Vector3{1.0f, 1.0f, 1.0f};
    r->frameAtDepth[depth] = o.frame;
    o.mesh = AddReadModelMesh(&r->model, o.frame);
    if (!o.mesh) return WriteLogText("MQO Load Error : メッシュオブジェクトの追加に失敗しました");
    if (!closed && ReadObjectBody(&o) != 0) return -1;
    if (!o.facesRead && o.mesh) {  // an object without faces draws nothing
        RemoveReadModelMesh(&r->model, o.frame, o.mesh);
        o.mesh = nullptr;
    }
    PlaceObject(&o);
    if (o.mirrorType == 1 && o.mesh) return MirrorMqoMesh(r, o.mesh, o.mirrorAxis, name);
    return 0;
}

int ReadMqoObjects(MqoReader* r) {
    MqoText* text = &r->text;
    text->position = kMqoBodyStart < text->size ? kMqoBodyStart : text->size;
    for (;;) {
        MqoTokenResult result = NextMqoToken(text);
        if (result == MQO_TOKEN_END || (result == MQO_TOKEN_OK && MqoTokenIs(text->token, "Eof"))) return 0;
        if (result == MQO_TOKEN_ERROR) return WriteLogText("MQO Load Error : チャンク解析中に文字列解析エラーが発生しました");
        if (MqoTokenIs(text->token, "Object")) {
            char name[kMqoNameMax];
            if (!ReadMqoQuoted(text, name, sizeof(name)))
                return WriteLogText("MQO Load Error : Object チャンクの名前の取得に失敗しました");
            if (ReadMqoObject(r, name) != 0) return -1;
            continue;
        }
        result = SkipMqoChunk(text);
        if (result == MQO_TOKEN_END) return 0;
        if (result == MQO_TOKEN_ERROR) return WriteLogText("MQO Load Error : チャンク解析中に文字列解析エラーが発生しました");
    }
}

}  // namespace morpotta
