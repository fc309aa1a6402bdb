// A text dump of model base data, exact to the bit for every float, for
// comparing two bases (a round trip, a pass that must change nothing).
// Records are named by their index, never by address; what a format does
// not carry (a key set's total time) is left out.
#pragma once
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "model/base/model_records.h"

using namespace morpotta;

class ModelBaseDump {
public:
    struct Options {
        bool exactKeys = true;  // false: key times and values are compared elsewhere, with a tolerance
    };

    static std::string Of(const ModelBase* base, Options options) { return ModelBaseDump(base, options).text_; }
    static std::string Of(const ModelBase* base) { return Of(base, Options{}); }

private:
    ModelBaseDump(const ModelBase* base, Options options) : b_(base), o_(options) {
        Line("base frames %d meshes %d lists %d materials %d textures %d skin %d refs %d targets %d shapes %d",
             b_->frameCount, b_->meshCount, b_->triangleListCount, b_->materialCount, b_->textureCount,
             b_->skinBoneCount, b_->boneRefCount, b_->shapeTargetCount, b_->shapeCount);
        Line("words %d %s %s folder %s", b_->frameBitWords, F(b_->meshDrawFloat).c_str(), F(b_->gravity).c_str(),
             b_->folder ? b_->folder : "-");
        Line("instance vertices %u %u %u %u tops %d", b_->instanceVertexCounts[0], b_->instanceVertexCounts[1],
             b_->instanceVertexCounts[2], b_->instanceVertexCounts[3], b_->topFrameCount);
        for (int i = 0; i < b_->topFrameCount; ++i) Line(" top %ld", Index(b_->topFrames[i]));
        Carried();
        for (int i = 0; i < b_->frameCount; ++i) Frame(b_->frames[i]);
        for (int i = 0; i < b_->meshCount; ++i) Mesh(b_->meshes[i]);
        for (int i = 0; i < b_->triangleListCount; ++i) List(b_->triangleLists[i]);
        for (int i = 0; i < b_->materialCount; ++i) Material(b_->materials[i]);
        for (int i = 0; i < b_->textureCount; ++i) Texture(b_->textures[i]);
        for (int i = 0; i < b_->skinBoneCount; ++i) SkinBone(b_->skinBones[i]);
        for (int i = 0; i < b_->boneRefCount; ++i) Line("ref %ld", long(b_->boneRefs[i] - b_->skinBones));
        for (int i = 0; i < b_->shapeTargetCount; ++i) Target(b_->shapeTargets[i]);
        for (int i = 0; i < b_->animSetCount; ++i) AnimSet(b_->animSets[i]);
        for (int i = 0; i < b_->rigidBodyCount; ++i) Words("body", b_->rigidBodies[i].name, b_->rigidBodies[i].params);
        for (int i = 0; i < b_->jointCount; ++i) Words("joint", b_->joints[i].name, b_->joints[i].params);
    }

    template <typename... A>
    void Line(const char* format, A... args) {
        char buffer[512];
        std::snprintf(buffer, sizeof(buffer), format, args...);
        text_ += buffer;
        text_ += '\n';
    }
    static std::string F(float v) {
        char buffer[48];
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        std::snprintf(buffer, sizeof(buffer), "%.9g/%08x", double(v), bits);
        return buffer;
    }
    static void Append(std::string* out, std::initializer_list<std::string> parts) {
        for (const std::string& part : parts) *out += part;
    }
    static std::string V(const Vector3& v) {
        std::string out;
        Append(&out, {F(v.x), " ", F(v.y), " ", F(v.z)});
        return out;
    }
    long Index(const ModelBaseFrame* f) const { return f ? long(f - b_->frames) : -1; }

    // What binary model files carry beyond the rest, only when there is any
    // (so the dumps of every other model stay as they were).
    void Carried() {
        const ModelBaseDataBlock* blocks = b_->dataBlocks;
        if (!b_->headerWord && !b_->meshDrawWord && !blocks[0].size && !blocks[1].size && !b_->frameRecordCount) return;
        Line("carried words %u %u records %d", b_->headerWord, b_->meshDrawWord, b_->frameRecordCount);
        for (int b = 0; b < 2; ++b) Line(" block %d %s", b, Hex(blocks[b].bytes, blocks[b].size).c_str());
        for (int i = 0; i < b_->frameRecordCount; ++i) {
            std::string w;
            for (uint32_t v : b_->frameRecords[i].words) Append(&w, {std::to_string(v), " "});
            Line(" record %s %s", b_->frameRecords[i].name, w.c_str());
        }
    }
    static std::string Hex(const uint8_t* bytes, uint32_t size) {
        std::string s;
        for (uint32_t i = 0; i < size; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%02x", bytes[i]);
            s += hex;
        }
        return s;
    }
    long Place(int block, const uint8_t* p) const { return p ? long(p - b_->dataBlocks[block].bytes) : -1; }
    long Index(const ModelBaseMesh* m) const { return m ? long(m - b_->meshes) : -1; }

    void Frame(const ModelBaseFrame& f) {
        Line("frame %d %s parent %ld child %ld next %ld fourth %ld flags %u ignore %d user %u", f.index, f.name,
             Index(f.parent), Index(f.firstChild), Index(f.nextSibling), Index(f.fourthLink), f.flags, f.ignoreParent,
             f.userWord);
        Line(" bits %d %x %d %x below %d %d angle %s use %d", f.matrixBit.word, f.matrixBit.mask, f.drawBit.word,
             f.drawBit.mask, f.subtreeMeshCount, f.descendantCount, F(f.smoothingAngle).c_str(),
             f.useFrameSmoothingAngles);
        Line(" meshes %d from %ld refs %d from %ld own %d from %ld targets %d from %ld shapes %d", f.meshCount,
             f.meshCount ? Index(f.firstMesh) : -1, f.boneRefCount, f.boneRefCount ? long(f.boneRefs - b_->boneRefs) : -1,
             f.ownSkinBoneCount, f.ownSkinBoneCount ? long(f.firstOwnSkinBone - b_->skinBones) : -1,
             f.shapeTargetCount, f.shapeTargetCount ? long(f.firstShapeTarget - b_->shapeTargets) : -1, f.shapeCount);
        Line(" t %s s %s r %s order %d kind %d", V(f.translation).c_str(), V(f.scale).c_str(), V(f.rotation).c_str(),
             f.rotationOrder, f.matrixKind);
        Line(" q %s %s %s %s", F(f.quaternion[0]).c_str(), F(f.quaternion[1]).c_str(), F(f.quaternion[2]).c_str(),
             F(f.quaternion[3]).c_str());
        std::string m;
        for (float v : f.worldMatrix.m) Append(&m, {F(v), " "});
        Line(" world %s", m.c_str());
        Line(" positions %d normals %d most %d", f.positionCount, f.normalCount, f.maxWeightsPerVertex);
        for (int p = 0; p < f.positionCount; ++p) {
            const ModelBasePosition& pos = f.positions[p];
            std::string w;
            for (int k = 0; pos.weightBones && k < f.maxWeightsPerVertex && pos.weightBones[k] != -1; ++k)
                Append(&w, {" ", std::to_string(pos.weightBones[k]), ":", F(pos.weightValues[k])});
            Line("  p %s%s", V(pos.position).c_str(), w.c_str());
        }
        for (int n = 0; n < f.normalCount; ++n)
            Line("  n %s | %s | %s", V(f.normals[n].normal).c_str(), V(f.normals[n].tangent).c_str(),
                 V(f.normals[n].binormal).c_str());
        if (f.dataA || f.dataB || f.skinBone || f.attachedRecord)
            Line(" carried a %ld b %ld skin %ld record %ld", Place(0, f.dataA), Place(1, f.dataB),
                 f.skinBone ? long(f.skinBone - b_->skinBones) : -1,
                 f.attachedRecord ? long(f.attachedRecord - b_->frameRecords) : -1);
    }

    void Mesh(const ModelBaseMesh& m) {
        Line("mesh frame %ld material %d bit %d %x lists %d from %ld vis %u specular %u inst %u trans %u colours %u "
             "cull %u instv %d uv %d verts %d tris %d",
             Index(m.frame), m.material, m.drawBit.word, m.drawBit.mask, m.triangleListCount,
             m.triangleListCount ? long(m.firstTriangleList - b_->triangleLists) : -1, m.visible, m.vertexSpecular,
             m.needsInstanceVertices, m.translucent, m.vertexColours, m.cullMode, m.instanceVertexCount,
             m.uvChannelCount, m.vertexCount, m.triangleCount);
        for (int v = 0; v < m.vertexCount; ++v) {
            const ModelBaseMeshVertex& x = m.vertices[v];
            std::string uv;
            for (int s = 0; s < m.uvChannelCount && s < kModelUvChannels; ++s) Append(&uv, {" ", F(x.uv[s][0]), ",", F(x.uv[s][1])});
            Line("  v %d %d %02x%02x%02x%02x %02x%02x%02x%02x %d%s", x.position, x.normal, x.diffuse[0], x.diffuse[1],
                 x.diffuse[2], x.diffuse[3], x.specular[0], x.specular[1], x.specular[2], x.specular[3], x.noOutline,
                 uv.c_str());
        }
    }

    void List(const ModelBaseTriangleList& l) {
        Line("list mesh %ld kind %u verts %d stride %d most %d indices %d outline %d bones %d", Index(l.mesh),
             l.vertexKind, l.vertexCount, l.vertexStride, l.maxWeights, l.indexCount, l.outlineIndexCount,
             l.boneCount);
        std::string s;
        for (int b = 0; b < kModelMaxPaletteBones; ++b) Append(&s, {std::to_string(l.bones[b]), " "});
        Line(" palette %s", s.c_str());
        s.clear();
        for (int v = 0; v < l.vertexCount; ++v) Append(&s, {std::to_string(l.meshVertices[v]), " "});
        Line(" numbers %s", s.c_str());
        s.clear();
        for (int i = 0; i < l.indexCount; ++i) Append(&s, {std::to_string(l.indices[i]), " "});
        Line(" indices %s", s.c_str());
        s.clear();
        for (int i = 0; i < l.outlineIndexCount; ++i) Append(&s, {std::to_string(l.outlineIndices[i]), " "});
        Line(" outline %s", s.c_str());
        s.clear();
        const auto* bytes = static_cast<const uint8_t*>(l.vertices);
        for (int i = 0; i < l.vertexCount * l.vertexStride; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof(hex), "%02x", bytes[i]);
            s += hex;
        }
        Line(" data %s", s.c_str());
    }

    void Material(const ModelBaseMaterial& m) {
        std::string c;
        for (const float* group : {m.diffuse, m.ambient, m.specular, m.emissive})
            for (int i = 0; i < 4; ++i) Append(&c, {F(group[i]), " "});
        Line("material %s type %d colours %s power %s", m.name, m.drawType, c.c_str(), F(m.power).c_str());
        for (int l = 0; l < 3; ++l) {
            std::string e;
            for (int i = 0; i < m.layers[l].count; ++i)
                Append(&e, {std::to_string(m.layers[l].textures[i]), ":", std::to_string(m.layers[l].words[i]), " "});
            Line(" layer %d %s", l, e.c_str());
        }
        std::string w;
        for (uint32_t v : m.modeWords) Append(&w, {std::to_string(v), " "});
        Line(" extra %d %d modes %s flag %d alpha %d outline %s %s colour %s %s %s %s", m.extraTexture1,
             m.extraTexture2, w.c_str(), m.flagWord, m.alpha, F(m.outline[0]).c_str(), F(m.outline[1]).c_str(),
             F(m.outlineColour[0]).c_str(), F(m.outlineColour[1]).c_str(), F(m.outlineColour[2]).c_str(),
             F(m.outlineColour[3]).c_str());
    }

    void Texture(const ModelBaseTexture& t) {
        Line("texture %s files %s %s bump %u %s reverse %d bmp %d size %dx%d address %d %d filter %d params %u %s %u %u",
             t.name, t.image.colourFileName ? t.image.colourFileName : "-",
             t.image.alphaFileName ? t.image.alphaFileName : "-", t.bumpFlag, F(t.bumpHeight).c_str(), t.reverse,
             t.bmp32Alpha, t.width, t.height, t.addressU, t.addressV, t.filter, t.param, F(t.paramFloat).c_str(),
             t.flag1, t.flag2);
    }

    void SkinBone(const ModelBaseSkinBone& s) {
        std::string m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) Append(&m, {F(s.offset.m[r][c]), " "});
        std::string u;
        for (int i = 0; i < s.userCount; ++i) Append(&u, {std::to_string(s.users[i].frame), ":", std::to_string(s.users[i].slot), " "});
        Line("skin frame %d only %d offset %s users %s", s.boneFrame, s.translationOnly, m.c_str(), u.c_str());
    }

    void Target(const ModelBaseShapeTarget& t) {
        Line("target %s shape %d mesh %ld vertices %d", t.name, t.shape, Index(t.mesh), t.vertexCount);
        for (int v = 0; v < t.vertexCount; ++v)
            Line("  sv %d %s | %s", t.vertices[v].meshVertex, V(t.vertices[v].position).c_str(),
                 V(t.vertices[v].normal).c_str());
    }

    void AnimSet(const ModelBaseAnimSet& s) {
        Line("set %s %s %s words %u %u anims %d", s.name, F(s.startTime).c_str(), F(s.endTime).c_str(), s.words[0],
             s.words[1], s.animCount);
        for (int a = 0; a < s.animCount; ++a) {
            const ModelBaseAnim& anim = s.anims[a];
            Line(" anim frame %d value %s word %u keysets %d", anim.frameIndex, F(anim.value).c_str(), anim.word,
                 anim.keySetCount);
            for (int k = 0; k < anim.keySetCount; ++k) KeySet(anim.keySets[k]);
        }
    }

    void KeySet(const ModelBaseAnimKeySet& k) {
        Line("  keys type %u kind %u explicit %u shape %d count %d", k.valueType, k.keyKind, k.explicitTimes,
             k.shapeIndex, k.keyCount);
        if (!k.explicitTimes) Line("   start %s step %s", F(k.startTime).c_str(), F(k.timeStep).c_str());
        std::string t;
        for (int i = 0; o_.exactKeys && k.explicitTimes && i < k.keyCount; ++i) Append(&t, {F(k.times[i]), " "});
        Line("   times %s", t.c_str());
        int width = k.valueType == 0 || k.valueType == 7 ? 4 : k.valueType == 1 ? 3 : k.valueType == 5 ? 1 : 0;
        std::string v;
        for (int i = 0; o_.exactKeys && k.values && i < k.keyCount * width; ++i) Append(&v, {F(k.values[i]), " "});
        Line("   values %s", v.c_str());
    }

    void Words(const char* kind, const char* name, const uint32_t* words) {
        std::string w;
        for (int i = 0; i < kModelPhysicsParamWords; ++i) Append(&w, {std::to_string(words[i]), " "});
        Line("%s %s %s", kind, name, w.c_str());
    }

    const ModelBase* b_;
    Options o_;
    std::string text_;
};
