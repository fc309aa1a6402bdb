// A small writer of MQO text models (CR LF line ends, names as given in
// code page 932), for tests, benchmarks and the content generator. It
// writes what the engine's reader understands: a Material chunk, Object
// chunks with depth, transform, mirror settings, vertices and faces with
// M, UV and COL, and any extra chunks to be skipped.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct MqoMaterialSpec {
    std::string name;
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float diffuse = 0.8f;
    float ambient = 0.6f;
    float emissive = 0.0f;
    float specular = 0.0f;
    float power = 5.0f;
    std::string texture;  // empty: none
    std::string alphaPlane;
    std::string bump;
    std::string extra;  // written as it stands at the end of the line
};

struct MqoFaceSpec {
    std::vector<int> corners;
    int material = -1;          // -1: no M
    std::vector<float> uvs;     // u, v per corner; empty: no UV
    std::vector<uint32_t> colours;  // packed per corner; empty: no COL
};

struct MqoObjectSpec {
    std::string name;
    int depth = 0;
    int visible = 15;
    std::array<float, 3> scale{1.0f, 1.0f, 1.0f};
    std::array<float, 3> rotation{0.0f, 0.0f, 0.0f};  // heading, pitch, bank (degrees)
    std::array<float, 3> translation{0.0f, 0.0f, 0.0f};
    float facet = 59.5f;
    int mirror = 0;
    int mirrorAxis = 0;
    std::vector<std::array<float, 3>> vertices;
    std::vector<MqoFaceSpec> faces;
    std::string extra;  // written as it stands before the vertex chunk
};

struct MqoDocument {
    bool materialChunk = true;        // false: no Material chunk at all
    bool materialsAfterObjects = false;
    std::vector<MqoMaterialSpec> materials;
    std::vector<MqoObjectSpec> objects;
    std::string chunksBefore;  // raw text after the header (e.g. a Scene chunk)
    std::string chunksBetween;  // raw text between materials and objects
};

namespace mqo_writer {

inline std::string Number(float v) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.6f", double(v));
    // Trim trailing zeros; the reader takes no exponent, so none is written.
    std::string s = buffer;
    while (s.size() > 1 && s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

inline void AppendMaterials(std::string& out, const MqoDocument& doc) {
    if (!doc.materialChunk) return;
    out += "Material " + std::to_string(doc.materials.size()) + " {\r\n";
    for (const MqoMaterialSpec& m : doc.materials) {
        out += "\t\"" + m.name + "\" shader(3) col(" + Number(m.colour[0]) + " " + Number(m.colour[1]) + " " +
               Number(m.colour[2]) + " " + Number(m.colour[3]) + ") dif(" + Number(m.diffuse) + ") amb(" +
               Number(m.ambient) + ") emi(" + Number(m.emissive) + ") spc(" + Number(m.specular) + ") power(" +
               Number(m.power) + ")";
        if (!m.texture.empty()) out += " tex(\"" + m.texture + "\")";
        if (!m.alphaPlane.empty()) out += " aplane(\"" + m.alphaPlane + "\")";
        if (!m.bump.empty()) out += " bump(\"" + m.bump + "\")";
        out += m.extra + "\r\n";
    }
    out += "}\r\n";
}

inline std::string& Separate(std::string& out, size_t i) {
    if (i) out += ' ';
    return out;
}

inline void AppendFace(std::string& out, const MqoFaceSpec& f) {
    out += "\t\t" + std::to_string(f.corners.size()) + " V(";
    for (size_t i = 0; i < f.corners.size(); ++i) Separate(out, i) += std::to_string(f.corners[i]);
    out += ")";
    if (f.material >= 0) out += " M(" + std::to_string(f.material) + ")";
    if (!f.uvs.empty()) {
        out += " UV(";
        for (size_t i = 0; i < f.uvs.size(); ++i) Separate(out, i) += Number(f.uvs[i]);
        out += ")";
    }
    if (!f.colours.empty()) {
        out += " COL(";
        for (size_t i = 0; i < f.colours.size(); ++i) Separate(out, i) += std::to_string(f.colours[i]);
        out += ")";
    }
    out += "\r\n";
}

inline void AppendObject(std::string& out, const MqoObjectSpec& o) {
    auto triple = [](const std::array<float, 3>& v) { return Number(v[0]) + " " + Number(v[1]) + " " + Number(v[2]); };
    out += "Object \"" + o.name + "\" {\r\n";
    out += "\tdepth " + std::to_string(o.depth) + "\r\n";
    out += "\tfolding 0\r\n";
    out += "\tscale " + triple(o.scale) + "\r\n";
    out += "\trotation " + triple(o.rotation) + "\r\n";
    out += "\ttranslation " + triple(o.translation) + "\r\n";
    out += "\tvisible " + std::to_string(o.visible) + "\r\n";
    out += "\tlocking 0\r\n\tshading 1\r\n";
    out += "\tfacet " + Number(o.facet) + "\r\n";
    out += "\tcolor 0.898 0.498 0.698\r\n\tcolor_type 0\r\n";
    if (o.mirror) {
        out += "\tmirror " + std::to_string(o.mirror) + "\r\n";
        out += "\tmirror_axis " + std::to_string(o.mirrorAxis) + "\r\n";
    }
    out += o.extra;
    out += "\tvertex " + std::to_string(o.vertices.size()) + " {\r\n";
    for (const auto& v : o.vertices) out += "\t\t" + triple(v) + "\r\n";
    out += "\t}\r\n";
    out += "\tface " + std::to_string(o.faces.size()) + " {\r\n";
    for (const MqoFaceSpec& f : o.faces) AppendFace(out, f);
    out += "\t}\r\n}\r\n";
}

}  // namespace mqo_writer

inline std::string WriteMqo(const MqoDocument& doc) {
    std::string out = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";
    out += doc.chunksBefore;
    if (!doc.materialsAfterObjects) mqo_writer::AppendMaterials(out, doc);
    out += doc.chunksBetween;
    for (const MqoObjectSpec& o : doc.objects) mqo_writer::AppendObject(out, o);
    if (doc.materialsAfterObjects) mqo_writer::AppendMaterials(out, doc);
    out += "Eof\r\n";
    return out;
}

// A square of side 2 * half in the xy plane around the origin, with one
// plain material; twoSided adds the face of the other winding, so that no
// culling hides it.
inline MqoDocument MakeMqoSquare(float half, bool twoSided) {
    MqoObjectSpec square;
    square.name = "square";
    square.vertices = {{-half, -half, 0}, {half, -half, 0}, {half, half, 0}, {-half, half, 0}};
    square.faces.push_back({{0, 1, 2, 3}, 0, {}, {}});
    if (twoSided) square.faces.push_back({{3, 2, 1, 0}, 0, {}, {}});
    MqoDocument doc;
    doc.materials.emplace_back().name = "plain";
    doc.objects.push_back(square);
    return doc;
}

// A grid of about `faces` quads (split into triangles when asked) in one
// object with one material and UVs: the shape of the larger game models.
inline MqoDocument MakeMqoGrid(int faces, bool triangles = false) {
    MqoDocument doc;
    MqoMaterialSpec m;
    m.name = "grid";
    doc.materials.push_back(m);
    MqoObjectSpec o;
    o.name = "grid";
    int cells = triangles ? (faces + 1) / 2 : faces;
    int side = 1;
    while (side * side < cells) ++side;
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x)
            o.vertices.push_back({float(x), float((x * 7 + y * 3) % 5) * 0.25f, float(y)});
    auto uv = [side](int index) { return std::array<float, 2>{float(index % (side + 1)) / float(side), float(index / (side + 1)) / float(side)}; };
    int made = 0;
    for (int y = 0; y < side && made < faces; ++y)
        for (int x = 0; x < side && made < faces; ++x) {
            int a = y * (side + 1) + x, b = a + 1, c = a + side + 2, d = a + side + 1;
            std::vector<std::vector<int>> polys = triangles ? std::vector<std::vector<int>>{{a, b, c}, {a, c, d}}
                                                            : std::vector<std::vector<int>>{{a, b, c, d}};
            for (auto& p : polys) {
                if (made >= faces) break;
                MqoFaceSpec f;
                f.corners = p;
                f.material = 0;
                for (int i : p) {
                    auto t = uv(i);
                    f.uvs.push_back(t[0]);
                    f.uvs.push_back(t[1]);
                }
                o.faces.push_back(f);
                ++made;
            }
        }
    doc.objects.push_back(o);
    return doc;
}
