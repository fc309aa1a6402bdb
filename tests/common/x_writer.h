// Writes X model files for tests and benchmarks. One sequence of calls
// gives the text form or the binary form (32- or 64-bit floats):
// Open("Frame", "Root") ... Close() for data objects, Ref for a reference,
// Ints, Floats and Str for the values of a template. Binary values go out
// as one INTEGER_LIST or FLOAT_LIST per call, little-endian; Raw and Token
// write bytes and tokens as they are, for broken files.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class XWriter {
public:
    enum Encoding { kText, kBinary32, kBinary64 };
    enum Token : uint16_t {
        kName = 1,
        kString = 2,
        kInteger = 3,
        kGuid = 5,
        kIntegerList = 6,
        kFloatList = 7,
        kOpenBrace = 10,
        kCloseBrace = 11,
        kSemicolon = 20,
        kTemplate = 31,
    };

    explicit XWriter(Encoding encoding) : e_(encoding) {
        out_ = encoding == kText ? "xof 0303txt 0032\n" : encoding == kBinary32 ? "xof 0303bin 0032" : "xof 0303bin 0064";
    }
    bool Text() const { return e_ == kText; }

    XWriter& Open(const char* templ, const char* name = "") {
        if (Text()) {
            Indent();
            out_ += templ;
            if (*name) {
                out_ += ' ';
                out_ += name;
            }
            out_ += " {\n";
        } else {
            Name(templ);
            if (*name) Name(name);
            Token16(kOpenBrace);
        }
        ++depth_;
        return *this;
    }
    XWriter& Close() {
        --depth_;
        if (Text()) {
            Indent();
            out_ += "}\n";
        } else {
            Token16(kCloseBrace);
        }
        return *this;
    }
    XWriter& Ref(const char* name) {
        if (Text()) {
            Indent();
            out_ += "{ ";
            out_ += name;
            out_ += " }\n";
        } else {
            Token16(kOpenBrace);
            Name(name);
            Token16(kCloseBrace);
        }
        return *this;
    }
    XWriter& Ints(const std::vector<int64_t>& values) {
        if (Text()) {
            Indent();
            for (int64_t v : values) out_ += std::to_string(v) + ";";
            out_ += '\n';
        } else {
            Token16(kIntegerList);
            U32(uint32_t(values.size()));
            for (int64_t v : values) U32(uint32_t(v));
        }
        return *this;
    }
    XWriter& Floats(const std::vector<double>& values) {
        if (Text()) {
            Indent();
            for (double v : values) out_ += Number(v) + ";";
            out_ += '\n';
        } else {
            Token16(kFloatList);
            U32(uint32_t(values.size()));
            for (double v : values) {
                if (e_ == kBinary64) {
                    uint64_t bits;
                    std::memcpy(&bits, &v, 8);
                    U32(uint32_t(bits));
                    U32(uint32_t(bits >> 32));
                } else {
                    float f = float(v);
                    uint32_t bits;
                    std::memcpy(&bits, &f, 4);
                    U32(bits);
                }
            }
        }
        return *this;
    }
    // Well-formed text for the arrays of the templates (binary: one list):
    // an array of numbers ("1,2,3;"), of vectors or coordinates
    // ("x;y;z;,x;y;z;;"), a matrix ("m0,...,m15;;") and a face list
    // ("count; n;i,j,k;,n;i,j,k;;").
    XWriter& IntArray(const std::vector<int64_t>& values) {
        if (!Text()) return Ints(values);
        Indent();
        for (size_t i = 0; i < values.size(); ++i) out_ += std::to_string(values[i]) + (i + 1 < values.size() ? "," : "");
        out_ += ";\n";
        return *this;
    }
    XWriter& VectorArray(const std::vector<double>& values, size_t per) {
        if (!Text()) return Floats(values);
        for (size_t i = 0; i < values.size(); ++i) {
            if (i % per == 0) Indent();
            out_ += Number(values[i]) + ";";
            if ((i + 1) % per == 0) out_ += i + 1 < values.size() ? ",\n" : ";\n";
        }
        if (values.empty()) out_ += ";\n";
        return *this;
    }
    XWriter& Matrix(const std::vector<double>& values) {
        if (!Text()) return Floats(values);
        Indent();
        for (size_t i = 0; i < values.size(); ++i) out_ += Number(values[i]) + (i + 1 < values.size() ? "," : ";;\n");
        return *this;
    }
    // faces: the count, then per face its corner count and corners.
    XWriter& FaceList(const std::vector<int64_t>& faces) {
        if (!Text()) return Ints(faces);
        Indent();
        out_ += std::to_string(faces.empty() ? 0 : faces[0]) + ";\n";
        for (size_t at = 1; at < faces.size();) {
            size_t n = size_t(faces[at]);
            Indent();
            out_ += std::to_string(n) + ";";
            for (size_t c = 0; c < n; ++c) out_ += std::to_string(faces[at + 1 + c]) + (c + 1 < n ? "," : ";");
            at += n + 1;
            out_ += at < faces.size() ? ",\n" : ";\n";
        }
        return *this;
    }
    XWriter& Str(const char* text) {
        if (Text()) {
            Indent();
            out_ += '"';
            out_ += text;
            out_ += "\";\n";
        } else {
            Token16(kString);
            U32(uint32_t(std::strlen(text)));
            out_ += text;
            Token16(kSemicolon);
        }
        return *this;
    }
    XWriter& Raw(const std::string& bytes) {
        out_ += bytes;
        return *this;
    }
    XWriter& Token16(uint16_t code) {
        out_ += char(code & 0xFF);
        out_ += char(code >> 8);
        return *this;
    }
    XWriter& Name(const char* name) {
        Token16(kName);
        U32(uint32_t(std::strlen(name)));
        out_ += name;
        return *this;
    }
    XWriter& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_ += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    const std::string& Bytes() const { return out_; }

private:
    void Indent() { out_.append(size_t(depth_) * 2, ' '); }
    // Enough digits to give the float back; always with a decimal point,
    // as writers of the format put it.
    static std::string Number(double v) {
        char number[32];
        std::snprintf(number, sizeof(number), "%.9g", v);
        std::string text = number;
        if (text.find_first_of(".en") == std::string::npos) text += ".0";
        return text;
    }

    Encoding e_;
    int depth_ = 0;
    std::string out_;
};

// A grid of quads of about the given count with normals and texture
// coordinates, in one mesh of one frame: the load benchmark's model.
inline std::string MakeXGrid(int faces, XWriter::Encoding encoding) {
    int side = 1;
    while (side * side < faces) ++side;
    XWriter w(encoding);
    w.Open("Frame", "grid").Open("FrameTransformMatrix").Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}).Close();
    w.Open("Mesh", "gridMesh");
    const int vertices = (side + 1) * (side + 1);
    std::vector<double> values;
    values.reserve(size_t(vertices) * 3);
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x) {
            values.push_back(x);
            values.push_back(double((x * 7 + y * 3) % 5) * 0.25);
            values.push_back(y);
        }
    std::vector<int64_t> quads{faces};
    quads.reserve(size_t(faces) * 5 + 1);
    int made = 0;
    for (int y = 0; y < side && made < faces; ++y)
        for (int x = 0; x < side && made < faces; ++x, ++made) {
            int a = y * (side + 1) + x;
            quads.insert(quads.end(), {4, a, a + side + 1, a + side + 2, a + 1});
        }
    w.Ints({vertices}).VectorArray(values, 3).FaceList(quads);
    w.Open("MeshMaterialList").Ints({1, 1}).IntArray({0});
    w.Open("Material", "grid").Floats({0.8, 0.8, 0.8, 1}).Floats({5}).Floats({0, 0, 0}).Floats({0, 0, 0}).Close();
    w.Close();
    w.Open("MeshNormals").Ints({vertices});
    std::vector<double> normals;
    normals.reserve(size_t(vertices) * 3);
    for (int v = 0; v < vertices; ++v) normals.insert(normals.end(), {0, 1, 0});
    w.VectorArray(normals, 3).FaceList(quads).Close();
    w.Open("MeshTextureCoords").Ints({vertices});
    std::vector<double> uvs;
    uvs.reserve(size_t(vertices) * 2);
    for (int v = 0; v < vertices; ++v) uvs.insert(uvs.end(), {double(v % (side + 1)) / side, double(v / (side + 1)) / side});
    w.VectorArray(uvs, 2).Close();
    w.Close().Close();
    return w.Bytes();
}
