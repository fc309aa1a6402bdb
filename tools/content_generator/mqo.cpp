#include "mqo.h"
#include "pi.h"

#include <cmath>
#include <cstdio>

namespace {

Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Appends a convex part: local vertices and faces, transformed, each face
// turned so that it runs clockwise seen from outside the part.
void AddConvexPart(MqoObject& o, std::vector<Vec3> vertices, const std::vector<std::vector<int>>& faces, int material,
                   const PointTransform& t) {
    if (t) {
        for (Vec3& v : vertices) v = t(v);
    }
    Vec3 centre;
    for (const Vec3& v : vertices) centre = centre + v;
    centre = centre * (1.0f / float(vertices.size()));
    int base = int(o.vertices.size());
    o.vertices.insert(o.vertices.end(), vertices.begin(), vertices.end());
    for (std::vector<int> f : faces) {
        Vec3 a = vertices[size_t(f[0])], b = vertices[size_t(f[1])], c = vertices[size_t(f[2])];
        if (f.size() == 4 && Dot(Cross(b - a, c - a), Cross(b - a, c - a)) < 1e-8f) c = vertices[size_t(f[3])];
        Vec3 mid;
        for (int i : f) mid = mid + vertices[size_t(i)];
        mid = mid * (1.0f / float(f.size()));
        Vec3 normal = Cross(b - a, c - a);
        if (Dot(normal, normal) < 1e-10f) continue;  // degenerate face
        if (Dot(normal, mid - centre) > 0) std::vector<int>(f.rbegin(), f.rend()).swap(f);
        for (int& i : f) i += base;
        o.faces.push_back({f, material});
    }
}

void AppendNumber(std::string& out, float v) {
    char buffer[32];
    if (std::fabs(v) < 0.00005f) v = 0.0f;  // never "-0.0000"
    std::snprintf(buffer, sizeof buffer, "%.4f", v);
    out += buffer;
}

}  // namespace

Vec3 RotateAboutZ(Vec3 p, Vec3 pivot, float a) {
    float c = std::cos(a), s = std::sin(a);
    Vec3 d = p - pivot;
    return {pivot.x + d.x * c - d.y * s, pivot.y + d.x * s + d.y * c, p.z};
}

int MqoModel::AddMaterial(const MqoMaterial& m) {
    materials_.push_back(m);
    return int(materials_.size()) - 1;
}

MqoObject& MqoModel::AddObject(const std::string& name) {
    objects_.push_back({name, {}, {}});
    return objects_.back();
}

void MqoModel::Translate(Vec3 offset) {
    for (MqoObject& o : objects_)
        for (Vec3& v : o.vertices) v = v + offset;
}

std::string MqoModel::Write() const {
    std::string out = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";
    out += "Material " + std::to_string(materials_.size()) + " {\r\n";
    for (const MqoMaterial& m : materials_) {
        out += "\t\"" + m.name + "\" col(";
        AppendNumber(out, m.r);
        out += " ";
        AppendNumber(out, m.g);
        out += " ";
        AppendNumber(out, m.b);
        out += " ";
        AppendNumber(out, m.a);
        out += ") dif(";
        AppendNumber(out, m.dif);
        out += ") amb(";
        AppendNumber(out, m.amb);
        out += ") emi(";
        AppendNumber(out, m.emi);
        out += ") spc(";
        AppendNumber(out, m.spc);
        out += ") power(";
        AppendNumber(out, m.power);
        out += ")\r\n";
    }
    out += "}\r\n";
    for (const MqoObject& o : objects_) {
        out += "Object \"" + o.name + "\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n";
        out += "\tvertex " + std::to_string(o.vertices.size()) + " {\r\n";
        for (const Vec3& v : o.vertices) {
            out += "\t\t";
            AppendNumber(out, v.x);
            out += " ";
            AppendNumber(out, v.y);
            out += " ";
            AppendNumber(out, v.z);
            out += "\r\n";
        }
        out += "\t}\r\n\tface " + std::to_string(o.faces.size()) + " {\r\n";
        for (const MqoFace& f : o.faces) {
            out += "\t\t" + std::to_string(f.v.size()) + " V(";
            for (size_t i = 0; i < f.v.size(); ++i) {
                if (i) out += ' ';
                out += std::to_string(f.v[i]);
            }
            out += ") M(" + std::to_string(f.material) + ")\r\n";
        }
        out += "\t}\r\n}\r\n";
    }
    out += "Eof\r\n";
    return out;
}

void AddBox(MqoObject& o, Vec3 lo, Vec3 hi, int material, const PointTransform& t) {
    std::vector<Vec3> v = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                           {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    AddConvexPart(o, v, {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 3, 7, 4}}, material, t);
}

void AddEllipsoid(MqoObject& o, Vec3 c, Vec3 r, int material, int segments, int rings, const PointTransform& t) {
    std::vector<Vec3> v;
    std::vector<std::vector<int>> f;
    v.push_back({c.x, c.y + r.y, c.z});  // top
    for (int ring = 1; ring < rings; ++ring) {
        float phi = kPi * float(ring) / float(rings);
        for (int s = 0; s < segments; ++s) {
            float theta = 2 * kPi * float(s) / float(segments);
            v.push_back({c.x + r.x * std::sin(phi) * std::cos(theta), c.y + r.y * std::cos(phi),
                         c.z + r.z * std::sin(phi) * std::sin(theta)});
        }
    }
    v.push_back({c.x, c.y - r.y, c.z});  // bottom
    int bottom = int(v.size()) - 1;
    auto at = [&](int ring, int s) { return 1 + (ring - 1) * segments + (s % segments); };
    for (int s = 0; s < segments; ++s) {
        f.push_back({0, at(1, s), at(1, s + 1)});
        for (int ring = 1; ring + 1 < rings; ++ring) f.push_back({at(ring, s), at(ring + 1, s), at(ring + 1, s + 1), at(ring, s + 1)});
        f.push_back({at(rings - 1, s), bottom, at(rings - 1, s + 1)});
    }
    AddConvexPart(o, v, f, material, t);
}

void AddCylinder(MqoObject& o, Vec3 base, Vec3 tip, float r0, float r1, int material, int segments,
                 const PointTransform& t) {
    Vec3 axis = tip - base;
    float length = std::sqrt(Dot(axis, axis));
    if (length < 1e-4f) return;
    axis = axis * (1.0f / length);
    Vec3 helper = std::fabs(axis.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
    Vec3 u = Cross(axis, helper);
    u = u * (1.0f / std::sqrt(Dot(u, u)));
    Vec3 w = Cross(axis, u);
    std::vector<Vec3> v;
    std::vector<std::vector<int>> f;
    for (int s = 0; s < segments; ++s) {
        float a = 2 * kPi * float(s) / float(segments);
        v.push_back(base + (u * std::cos(a) + w * std::sin(a)) * r0);
    }
    bool cone = r1 <= 0.0f;
    if (cone) {
        v.push_back(tip);
        for (int s = 0; s < segments; ++s) f.push_back({s, (s + 1) % segments, segments});
    } else {
        for (int s = 0; s < segments; ++s) {
            float a = 2 * kPi * float(s) / float(segments);
            v.push_back(tip + (u * std::cos(a) + w * std::sin(a)) * r1);
        }
        for (int s = 0; s < segments; ++s) f.push_back({s, (s + 1) % segments, segments + (s + 1) % segments, segments + s});
        std::vector<int> top;
        for (int s = 0; s < segments; ++s) top.push_back(segments + s);
        // caps as fans of triangles (faces keep 3 or 4 corners)
        for (int s = 1; s + 1 < segments; ++s) f.push_back({segments, segments + s, segments + s + 1});
    }
    for (int s = 1; s + 1 < segments; ++s) f.push_back({0, s, s + 1});
    AddConvexPart(o, v, f, material, t);
}

void AddGem(MqoObject& o, Vec3 c, float r, int material, int facets) {
    std::vector<Vec3> v;
    std::vector<std::vector<int>> f;
    float tableY = c.y + r * 0.55f, girdleY = c.y + r * 0.15f, tipY = c.y - r * 0.95f;
    for (int s = 0; s < facets; ++s) {
        float a = 2 * kPi * float(s) / float(facets);
        v.push_back({c.x + r * 0.55f * std::cos(a), tableY, c.z + r * 0.55f * std::sin(a)});
    }
    for (int s = 0; s < facets; ++s) {
        float a = 2 * kPi * (float(s) + 0.5f) / float(facets);
        v.push_back({c.x + r * std::cos(a), girdleY, c.z + r * std::sin(a)});
    }
    v.push_back({c.x, tipY, c.z});
    int tip = int(v.size()) - 1;
    for (int s = 1; s + 1 < facets; ++s) f.push_back({0, s, s + 1});
    for (int s = 0; s < facets; ++s) {
        int n = (s + 1) % facets;
        f.push_back({s, facets + s, n});
        f.push_back({n, facets + s, facets + n});
        f.push_back({facets + s, tip, facets + n});
    }
    AddConvexPart(o, v, f, material, {});
}
