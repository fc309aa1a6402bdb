// The MQO material pass: the Material chunk, one material per line, and
// the "NoMaterial" that faces without a material use.
#include <cstring>

#include "engine/log.h"
#include "model/read/mqo_reader.h"

namespace morpotta {

namespace {

constexpr float kTextureParamFloat = 0.1f;


struct MaterialLine {
    MqoReader* r;
    int number;
    ReadModelMaterial* material;
    float lineColour[4];
};

int ReadTexturePath(MaterialLine* line, const char* keyword, char* path) {
    if (!ReadMqoQuoted(&line->r->text, path, kMqoTokenMax))
        return WriteLogFormat("MQO Load Error : No.%d の %s の文字列読み込みに失敗しました", line->number, keyword);
    return 0;
}

int AddTexture(MaterialLine* line, const char* name, const char* colour, uint32_t word, ReadModelTexture** out) {
    *out = AddReadModelTexture(&line->r->model, name, colour, nullptr, word, kTextureParamFloat, 1, 0, 1);
    if (!*out) return WriteLogFormat("MQO Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました", line->number);
    return 0;
}

void SetFirstDiffuse(ReadModelMaterial* m, ReadModelTexture* t) {
    m->layers[0].textures[0] = t;
    if (m->layers[0].count < 1) m->layers[0].count = 1;
}

// The values of one keyword between its brackets.
int ReadKeywordValues(MaterialLine* line, const char* keyword) {
    MqoText* text = &line->r->text;
    ReadModelMaterial* m = line->material;
    const float* c = line->lineColour;
    char path[kMqoTokenMax];
    ReadModelTexture* t = nullptr;
    if (MqoTokenIs(keyword, "col")) {
        for (float& v : line->lineColour) v = ReadMqoFloat(text);
    } else if (MqoTokenIs(keyword, "dif")) {
        float v = ReadMqoFloat(text);
        m->diffuse[0] = v * c[0], m->diffuse[1] = v * c[1], m->diffuse[2] = v * c[2], m->diffuse[3] = 1.0f;
    } else if (MqoTokenIs(keyword, "amb")) {
        float v = ReadMqoFloat(text);
        m->ambient[0] = m->ambient[1] = m->ambient[2] = v, m->ambient[3] = 0.0f;
    } else if (MqoTokenIs(keyword, "emi")) {
        float v = ReadMqoFloat(text);
        m->emissive[0] = v * c[0], m->emissive[1] = v * c[1], m->emissive[2] = v * c[2], m->emissive[3] = 0.0f;
    } else if (MqoTokenIs(keyword, "spc")) {
        float v = ReadMqoFloat(text);
        m->specular[0] = m->specular[1] = m->specular[2] = v, m->specular[3] = 0.0f;
    } else if (MqoTokenIs(keyword, "power")) {
        m->power = ReadMqoFloat(text) * 4.0f;
    } else if (MqoTokenIs(keyword, "tex")) {
        if (ReadTexturePath(line, "tex", path) != 0 || AddTexture(line, path, path, 0, &t) != 0) return -1;
        SetFirstDiffuse(m, t);
    } else if (MqoTokenIs(keyword, "aplane")) {
        if (ReadTexturePath(line, "aplane", path) != 0) return -1;
        if (m->layers[0].count == 0) {
            // An alpha-only texture: no colour file.
            if (AddTexture(line, path, nullptr, 0, &t) != 0) return -1;
            SetFirstDiffuse(m, t);
        }
        ReadModelTexture* first = m->layers[0].textures[0];
        if (!(first->alphaFilePath = AddReadModelString(&line->r->model, path)))
            return WriteLogFormat("MQO Load Error : No.%d の aplane の文字列の保存に失敗しました", line->number);
    } else if (MqoTokenIs(keyword, "bump")) {
        if (ReadTexturePath(line, "bump", path) != 0 || AddTexture(line, ReadModelFileName(path), path, 1, &t) != 0) return -1;
        // The material's one normal map goes to the normal-map layer; the
        // extra texture slots are the toon ramps and stay empty here.
        ReadModelTextureLayer& normalMaps = m->layers[kReadMaterialNormalMapLayer];
        normalMaps.textures[0] = t;
        normalMaps.count = 1;
    }
    return 0;
}

int ReadKeyword(MaterialLine* line, const char* keyword) {
    MqoText* text = &line->r->text;
    if (!ExpectMqoToken(text, "("))
        return WriteLogFormat("MQO Load Error : No.%d の Material の %s の後に ( がありませんでした", line->number, keyword);
    if (ReadKeywordValues(line, keyword) != 0) return -1;
    if (!ExpectMqoToken(text, ")"))
        return WriteLogFormat("MQO Load Error : No.%d の Material の %s の数値の後に ) がありませんでした", line->number,
                              keyword);
    return 0;
}

bool IsKeyword(const char* word) {
    static const char* const kKeywords[] = {"col", "dif", "amb", "emi", "spc", "power", "tex", "aplane", "bump"};
    for (const char* k : kKeywords)
        if (MqoTokenIs(word, k)) return true;
    return false;
}

int ReadMaterialLine(MqoReader* r, int number) {
    MqoText* text = &r->text;
    char name[kMqoTokenMax];
    if (!ReadMqoQuoted(text, name, sizeof(name)))
        return WriteLogFormat("MQO Load Error : No.%d の Material 名の取得に失敗しました", number);
    MaterialLine line{r, number, AddReadModelMaterial(&r->model, name), {1.0f, 1.0f, 1.0f, 1.0f}};
    if (!line.material) return WriteLogFormat("MQO Load Error : No.%d の Material オブジェクトの追加に失敗しました", number);
    for (;;) {
        char next = PeekMqoLine(text);
        if (next == 0 || next == '\r' || next == '\n') break;
        if (NextMqoToken(text) != MQO_TOKEN_OK)
            return WriteLogFormat("MQO Load Error : No.%d の Material の読み込み中にエラーが発生しました", number);
        if (!IsKeyword(text->token)) continue;  // other words and their values, one by one
        char keyword[8];
        std::strcpy(keyword, text->token);
        if (ReadKeyword(&line, keyword) != 0) return -1;
    }
    line.material->diffuse[3] = line.lineColour[3];
    return 0;
}

int ReadMaterialChunk(MqoReader* r) {
    MqoText* text = &r->text;
    int count = ReadMqoInt(text);
    // Every material takes at least a quoted name and a line end.
    if (count < 0 || size_t(count) > (text->size - text->position) / 4)
        return WriteLogFormat("MQO Load Error : マテリアルの数( %d )が不正です", count);
    if (!ExpectMqoToken(text, "{")) return WriteLogText("MQO Load Error : Material 数の後に { がありません");
    for (int n = 0; n < count; ++n)
        if (ReadMaterialLine(r, n) != 0) return -1;
    if (!ExpectMqoToken(text, "}")) return WriteLogText("MQO Load Error : Material チャンクの終端に } がありません");
    r->fileMaterialCount = count;
    return 0;
}

}  // namespace

int ReadMqoMaterials(MqoReader* r) {
    MqoText* text = &r->text;
    text->position = kMqoBodyStart < text->size ? kMqoBodyStart : text->size;
    for (;;) {
        MqoTokenResult result = NextMqoToken(text);
        if (result == MQO_TOKEN_END) break;
        if (result == MQO_TOKEN_ERROR) return WriteLogText("MQO Load Error : 予期せぬ EOF です");
        if (MqoTokenIs(text->token, "Material")) {
            if (ReadMaterialChunk(r) != 0) return -1;
            break;
        }
        result = SkipMqoChunk(text);
        if (result == MQO_TOKEN_END) break;
        if (result == MQO_TOKEN_ERROR) return WriteLogText("MQO Load Error : 予期せぬ EOF です");
    }
    r->materialUsed.assign(size_t(r->fileMaterialCount), 0);
    r->noMaterial = AddReadModelMaterial(&r->model, "NoMaterial");
    if (!r->noMaterial) return WriteLogText("MQO Load Error : Material オブジェクトの追加に失敗しました");
    return 0;
}

}  // namespace morpotta
