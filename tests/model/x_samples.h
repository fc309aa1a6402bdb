// A sample X model, written by hand in text and again through the token
// writer in binary: two frames (Arm below Body), one mesh of two quads
// skinned to both, a textured material and one named by reference, normals,
// texture coordinates, vertex colours, an unknown template with nested
// blocks, a template declaration and an animation set with rotation,
// scale, position and matrix keys.
#pragma once
#include <string>

#include "x_writer.h"

inline const char kSampleXText[] = R"(xof 0303txt 0032
// Comments may stand between any two tokens,
# in either form.
template Vector {
 <3d82ab5e-62da-11cf-ab39-0020af71e433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}

Material Red {
 1.000000;0.000000;0.000000;0.500000;;
 10.000000;
 0.500000;0.500000;0.500000;;
 0.000000;0.000000;0.250000;;
 TextureFilename {
  "red.png";
 }
}

Frame Body {
 FrameTransformMatrix {
  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,1.0,0.0,1.0;;
 }
 Frame Arm{
  FrameTransformMatrix {
   1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,2.0,0.0,0.0,1.0;;
  }
 }
 Mesh BodyMesh {
  6;
  0.0;0.0;0.0;,
  1.0;0.0;0.0;,   // a comment inside the data
  1.0;1.0;0.0;,
  0.0;1.0;0.0;,
  2.0;0.0;0.0;,
  2.0;1.0;0.0;;
  2;
  4;0,3,2,1;,
  4;1,2,5,4;;
  Decoration glitter {  # an unknown template: skipped with its blocks
   3; { Body } Inner { 1; "}"; 2; }
  }
  MeshMaterialList {
   2;
   2;
   0,
   1;;
   { Red }
   Material Blue {
    0.0;0.0;1.0;1.0;;
    5.0;
    0.0;0.0;0.0;;
    0.0;0.0;0.0;;
   }
  }
  MeshNormals {
   1;
   0.0;0.0;-1.0;;
   2;
   4;0,0,0,0;,
   4;0,0,0,0;;
  }
  MeshTextureCoords {
   6;
   0.0;1.0;,
   0.5;1.0;,
   0.5;0.0;,
   0.0;0.0;,
   1.0;1.0;,
   1.0;0.0;;
  }
  MeshVertexColors {
   2;
   4;1.0;0.5;0.25;1.0;;,
   5;0.0;1.0;0.0;0.5;;;
  }
  XSkinMeshHeader {
   2;
   4;
   2;
  }
  SkinWeights {
   "Body";
   4;
   0,
   1,
   2,
   3;
   1.0,
   0.5,
   0.5,
   1.0;
   1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,-1.0,0.0,1.0;;
  }
  SkinWeights {
   "Arm";
   4;
   1,2,4,5;
   0.5,0.5,1.0,1.0;
   1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,-2.0,-1.0,0.0,1.0;;
  }
 }
}

AnimationSet Wave {
 Animation {
  { Arm }
  AnimationKey {
   0;
   2;
   0;4;1.0,0.0,0.0,0.0;;,
   100;4;0.7071068,0.0,0.0,0.7071068;;;
  }
  AnimationKey { 1; 2; 0;3;1.0,1.0,1.0;;, 100;3;2.0,1.0,1.0;;; }
  AnimationKey { 2; 3; 0;3;2.0,0.0,0.0;;, 50;3;2.0,1.0,0.0;;, 100;3;2.0,1.0,1.0;;; }
  AnimationOptions { 1; 0; }
 }
 Animation {
  { Body }
  AnimationKey {
   4;
   2;
   0;16;1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,1.0,0.0,1.0;;,
   80;16;0.0,1.0,0.0,0.0,-1.0,0.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,2.0,0.0,1.0;;;
  }
 }
}
)";

// The same model in binary. Value lists are split and merged in several
// ways a writer may choose.
inline std::string SampleXBinary(XWriter::Encoding encoding) {
    XWriter w(encoding);
    const std::vector<double> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    auto translated = [&](double x, double y) {
        std::vector<double> m = identity;
        m[12] = x;
        m[13] = y;
        return m;
    };
    // template Vector { <guid> FLOAT x; FLOAT y; FLOAT z; }
    w.Token16(XWriter::kTemplate).Name("Vector").Token16(XWriter::kOpenBrace).Token16(XWriter::kGuid).Raw(std::string(16, '\x5e'));
    for (const char* member : {"x", "y", "z"}) w.Token16(42).Name(member).Token16(XWriter::kSemicolon);
    w.Token16(XWriter::kCloseBrace);

    w.Open("Material", "Red").Floats({1, 0, 0, 0.5, 10, 0.5, 0.5, 0.5, 0, 0, 0.25});
    w.Open("TextureFilename").Str("red.png").Close().Close();

    w.Open("Frame", "Body").Open("FrameTransformMatrix").Floats(translated(0, 1)).Close();
    w.Open("Frame", "Arm").Open("FrameTransformMatrix");
    std::vector<double> arm = translated(2, 0);
    for (int row = 0; row < 4; ++row) w.Floats(std::vector<double>(arm.begin() + row * 4, arm.begin() + row * 4 + 4));
    w.Close().Close();
    w.Open("Mesh", "BodyMesh").Ints({6}).Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0, 2, 1, 0});
    w.Ints({2, 4, 0, 3, 2, 1}).Ints({4, 1, 2, 5, 4});
    w.Open("Decoration", "glitter").Ints({3}).Ref("Body").Open("Inner").Ints({1}).Str("}").Ints({2}).Close().Close();
    w.Open("MeshMaterialList").Ints({2, 2, 0, 1}).Ref("Red");
    w.Open("Material", "Blue").Floats({0, 0, 1, 1, 5, 0, 0, 0, 0, 0, 0}).Close().Close();
    w.Open("MeshNormals").Ints({1}).Floats({0, 0, -1}).Ints({2, 4, 0, 0, 0, 0, 4, 0, 0, 0, 0}).Close();
    w.Open("MeshTextureCoords").Ints({6}).Floats({0, 1, 0.5, 1, 0.5, 0, 0, 0, 1, 1, 1, 0}).Close();
    w.Open("MeshVertexColors").Ints({2, 4}).Floats({1, 0.5, 0.25, 1}).Ints({5}).Floats({0, 1, 0, 0.5}).Close();
    w.Open("XSkinMeshHeader").Ints({2, 4, 2}).Close();
    w.Open("SkinWeights").Str("Body").Ints({4}).Ints({0, 1, 2, 3}).Floats({1, 0.5, 0.5, 1}).Floats(translated(0, -1)).Close();
    std::vector<double> armWeights = {0.5, 0.5, 1, 1};
    std::vector<double> armOffset = translated(-2, -1);
    armWeights.insert(armWeights.end(), armOffset.begin(), armOffset.end());
    w.Open("SkinWeights").Str("Arm").Ints({4, 1, 2, 4, 5}).Floats(armWeights).Close();
    w.Close().Close();

    w.Open("AnimationSet", "Wave").Open("Animation").Ref("Arm");
    w.Open("AnimationKey").Ints({0, 2, 0, 4}).Floats({1, 0, 0, 0}).Ints({100, 4}).Floats({0.7071068, 0, 0, 0.7071068}).Close();
    w.Open("AnimationKey").Ints({1, 2, 0, 3}).Floats({1, 1, 1}).Ints({100, 3}).Floats({2, 1, 1}).Close();
    w.Open("AnimationKey").Ints({2, 3, 0, 3}).Floats({2, 0, 0}).Ints({50, 3}).Floats({2, 1, 0}).Ints({100, 3});
    w.Floats({2, 1, 1}).Close();
    w.Open("AnimationOptions").Ints({1, 0}).Close();
    w.Close();
    w.Open("Animation").Ref("Body").Open("AnimationKey").Ints({4, 2, 0, 16}).Floats(translated(0, 1)).Ints({80, 16});
    w.Floats({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 2, 0, 1}).Close().Close();
    w.Close();
    return w.Bytes();
}
