// Building and writing MQO text models: objects of convex parts, each face
// wound clockwise as seen from outside (the format's front side), CR LF
// line ends. Coordinates are the file's own (the reader negates z), so +z
// faces the camera. 80 units make one grid cell.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }

struct MqoMaterial {
    std::string name;
    float r, g, b, a;
    float dif = 0.8f, amb = 0.6f, emi = 0.0f, spc = 0.2f, power = 8.0f;
};

struct MqoFace {
    std::vector<int> v;  // 3 or 4 vertex indices
    int material;
};

struct MqoObject {
    std::string name;
    std::vector<Vec3> vertices;
    std::vector<MqoFace> faces;
};

// Maps a part's local point to the model (for poses and tilts).
using PointTransform = std::function<Vec3(Vec3)>;
Vec3 RotateAboutZ(Vec3 p, Vec3 pivot, float radians);

class MqoModel {
public:
    int AddMaterial(const MqoMaterial& m);
    MqoObject& AddObject(const std::string& name);
    std::string Write() const;
    // Moves every vertex by offset.
    void Translate(Vec3 offset);
    const std::vector<MqoObject>& objects() const { return objects_; }

private:
    std::vector<MqoMaterial> materials_;
    std::vector<MqoObject> objects_;
};

// Convex parts. Each is built around its centre, passed through the
// transform (identity when empty), and wound outward-clockwise.
void AddBox(MqoObject& o, Vec3 low, Vec3 high, int material, const PointTransform& t = {});
void AddEllipsoid(MqoObject& o, Vec3 centre, Vec3 radii, int material, int segments = 12, int rings = 8,
                  const PointTransform& t = {});
// A cone or frustum along the segment from base to tip (tipRadius 0 for a cone).
void AddCylinder(MqoObject& o, Vec3 base, Vec3 tip, float baseRadius, float tipRadius, int material, int segments = 10,
                 const PointTransform& t = {});
// A gem: a crown frustum, girdle and pavilion cone around a vertical axis.
void AddGem(MqoObject& o, Vec3 centre, float radius, int material, int facets = 8);
