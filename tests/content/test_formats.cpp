#include "check_formats.h"
#include "mqo.h"
#include "playability.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

const char kHeader[] = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";

TEST(MqoCheck, AcceptsTheReadersGrammar) {
    std::string text = std::string(kHeader) +
                       "Scene {\r\n\tpos 0 0 1500\r\n\tnested { a 1 }\r\n}\r\n"
                       "Object \"o\" {\r\n\tdepth 0\r\n\tvertex 4 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t1 1 0\r\n\t\t0 1 0\r\n\t}\r\n"
                       "\tface 2 {\r\n\t\t3 V(0 1 2)\r\n\t\t4 V(0 1 2 3) M(0) UV(0 0 1 0 1 1 0 1)\r\n\t}\r\n}\r\n"
                       "Material 1 {\r\n\t\"m\" col(1 1 1 1) dif(0.8)\r\n}\r\nEof\r\n";
    EXPECT_EQ(CheckMqo(Bytes(text)), "");
}

TEST(MqoCheck, RefusesWhatTheReaderWouldDropOrFailOn) {
    std::string object = "Object \"o\" {\r\n\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t1 1 0\r\n\t}\r\n\tface 1 {\r\n\t\t";
    EXPECT_NE(CheckMqo(Bytes("Metasequoia Document\r\nFormat Text Ver 2.0\r\n")), "");
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + object + "5 V(0 1 2 0 1)\r\n\t}\r\n}\r\nEof\r\n")), "");
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + object + "3 V(0 1 2) M(4)\r\n\t}\r\n}\r\n"
                             "Material 1 {\r\n\t\"m\" col(1 1 1 1)\r\n}\r\nEof\r\n")),
              "");
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + object + "3 V(0 1 2)\r\n\t}\r\n}\r\n")), "");  // no Eof
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + "Object \"o\" {\r\n\tvertex 1 { 1e5 0 0 }\r\n}\r\nEof\r\n")), "");
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + "Object \"unterminated {\r\nEof\r\n")), "");
    EXPECT_NE(CheckMqo(Bytes(std::string(kHeader) + object + "3 V(0 1 2)\r\n\t}\r\n\tshading 1\r\n}\r\nEof\r\n")), "");
}

TEST(MqoWriter, PartsAreClosedAndWoundClockwiseFromOutside) {
    MqoModel model;
    int m = model.AddMaterial({"m", 1, 1, 1, 1});
    MqoObject& o = model.AddObject("parts");
    AddBox(o, {0, 0, 0}, {2, 2, 2}, m);
    AddEllipsoid(o, {10, 0, 0}, {3, 2, 1}, m);
    AddCylinder(o, {20, 0, 0}, {20, 5, 0}, 2, 1, m);
    AddCylinder(o, {30, 0, 0}, {32, 5, 1}, 2, 0, m);
    AddGem(o, {40, 0, 0}, 3, m);
    const float centres[5][3] = {{1, 1, 1}, {10, 0, 0}, {20, 2.5f, 0}, {30.5f, 1.25f, 0.25f}, {40, 0, 0}};
    for (const MqoFace& f : o.faces) {
        const Vec3& a = o.vertices[size_t(f.v[0])];
        const Vec3& b = o.vertices[size_t(f.v[1])];
        const Vec3& c = o.vertices[size_t(f.v[2])];
        Vec3 u = b - a, v = c - a;
        Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        int part = int(std::lround(a.x / 10.0f));
        Vec3 out = a - Vec3{centres[part][0], centres[part][1], centres[part][2]};
        EXPECT_LT(n.x * out.x + n.y * out.y + n.z * out.z, 0.0f) << "part " << part;
    }
    std::string text = model.Write();
    EXPECT_EQ(CheckMqo(Bytes(text)), "");
    EXPECT_EQ(text.find("-0.0000"), std::string::npos);
}

TEST(WavCheck, ReadsLayoutAndDuration) {
    std::vector<uint8_t> wav = Bytes(std::string("RIFF") + std::string(4, '\0') + "WAVEfmt " + std::string("\x10\0\0\0", 4) +
                                     std::string("\x01\0\x01\0\x22\x56\0\0\x44\xAC\0\0\x02\0\x10\0", 16) + "data" +
                                     std::string("\x10\0\0\0", 4) + std::string(16, '\0'));
    uint32_t riff = uint32_t(wav.size() - 8);
    for (int i = 0; i < 4; ++i) wav[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    double seconds = 0;
    EXPECT_EQ(CheckWav(wav, &seconds), "");
    EXPECT_NEAR(seconds, 8.0 / 22050, 1e-9);
    std::vector<uint8_t> cut(wav.begin(), wav.end() - 4);
    EXPECT_NE(CheckWav(cut, &seconds), "");
}

TEST(Playability, FollowsJumpsAndRefusesWalledGoals) {
    std::vector<std::string> open = {
        "BBBBBBBBBB",
        "B        B",
        "B     1  B",
        "B    BBB B",
        "B 1 1   GB",
        "Bs 1 BBBBB",
        "BBBBBBBBBB",
    };
    std::string why;
    EXPECT_TRUE(StageIsPlayable(open, 4, &why)) << why;
    std::vector<std::string> walled = open;
    walled[4][7] = 'B';
    walled[3][8] = 'B';
    EXPECT_FALSE(StageIsPlayable(walled, 4, &why));
    std::vector<std::string> tooHigh = open;
    tooHigh[2][6] = ' ';
    tooHigh[1][6] = '1';  // three cells above the platform's top and out of reach of the ground
    tooHigh[3] = "B    BBBBB";
    tooHigh[4] = "B 1 1 BBGB";
    EXPECT_FALSE(StageIsPlayable(tooHigh, 4, &why));
}

}  // namespace
