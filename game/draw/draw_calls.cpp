#include "game/draw/draw_calls.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/log.h"
#include "engine/model.h"

#include <set>
#include <utility>

namespace gamedraw {
namespace {

Recorder& ActiveRecorder() {
    static Recorder recorder;
    return recorder;
}

void Note(const Call& call) {
    if (auto& r = ActiveRecorder()) r(call);
}

// Whether a picture handle has a picture behind it. 0 is the game's "no
// picture" (the face of a slot without a cat) and draws nothing. A negative
// one is a picture the content lacks: its load failed and said so; drawing
// it would add a log line on every frame, so it is said once.
bool Drawable(int graph) {
    if (graph > 0) return true;
    static std::set<int> told;
    if (graph < 0 && told.insert(graph).second)
        WriteLogFormat("A picture the content lacks (handle %d) is not drawn; later draws of it are not logged", graph);
    return false;
}

// The blend of one draw; the plain mode afterwards.
struct BlendScope {
    bool set;
    BlendScope(int blend, int alpha) : set(blend != kPlain || alpha != 255) {
        if (set) SetBlendModeParam(blend, alpha);
    }
    ~BlendScope() {
        if (set) SetBlendModeParam(BlendCopy, 255);
    }
};

}  // namespace

void SetRecorder(Recorder recorder) { ActiveRecorder() = std::move(recorder); }

void Model(int model, Vector3 position, float rx, float ry, float rz) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kModel;
        c.handle = model;
        c.x = position.x, c.y = position.y, c.z = position.z;
        c.rx = rx, c.ry = ry, c.rz = rz;
        Note(c);
    }
    SetModelPosition(model, position.x, position.y, position.z);
    SetModelRotation(model, rx, ry, rz);
    DrawModel(model);
}

void ModelOpacity(int model, float rate) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kModelOpacity;
        c.handle = model;
        c.scale = rate;
        Note(c);
    }
    SetModelFrameOpacity(model, 0, rate);
}

void Billboard(int graph, Vector3 position, float size, float angle, int blend, int alpha) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kBillboard;
        c.handle = graph;
        c.x = position.x, c.y = position.y, c.z = position.z;
        c.scale = size, c.angle = angle;
        c.blend = blend, c.alpha = alpha;
        Note(c);
    }
    if (!Drawable(graph)) return;
    BlendScope scope(blend, alpha);
    const float p[3] = {position.x, position.y, position.z};
    DrawGraphBillboard3D(p, 0.5f, 0.5f, size, angle, graph, 1, 0);
}

void Glow(int graph, Vector3 position, float size, int blend, int alpha) {
    // The view's columns are the camera's axes in the world; the eye is the
    // point the view takes to its origin.
    float view[16];
    CopyViewMatrix(view);
    const float right[3] = {view[0], view[4], view[8]}, up[3] = {view[1], view[5], view[9]};
    const float ahead[3] = {view[2], view[6], view[10]};
    float eye[3];
    for (int k = 0; k < 3; ++k) eye[k] = -(view[12] * right[k] + view[13] * up[k] + view[14] * ahead[k]);
    const float depth = position.x * ahead[0] + position.y * ahead[1] + position.z * ahead[2] + view[14];
    const float nearer = size * 0.5f;
    if (depth > nearer * 2.0f) {
        // Along the line of sight a camera-facing picture keeps its place
        // on screen, and its size when scaled with its depth. (One nearer
        // the eye than its size stays where it is.)
        const float keep = (depth - nearer) / depth;
        position = {eye[0] + (position.x - eye[0]) * keep, eye[1] + (position.y - eye[1]) * keep,
                    eye[2] + (position.z - eye[2]) * keep};
        size *= keep;
    }
    const int wrote = GetDepthWriteEnabled();
    SetDepthWriteEnabled(0);
    Billboard(graph, position, size, 0.0f, blend, alpha);
    SetDepthWriteEnabled(wrote);
}

void Graph(int x, int y, int graph, int blend, int alpha) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kGraph;
        c.handle = graph;
        c.x = float(x), c.y = float(y);
        c.blend = blend, c.alpha = alpha;
        Note(c);
    }
    if (!Drawable(graph)) return;
    BlendScope scope(blend, alpha);
    DrawGraphAt(x, y, graph, 1);
}

void RotatedGraph(int x, int y, double scale, double angle, int graph, bool turn, int blend, int alpha) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kRotatedGraph;
        c.handle = graph;
        c.x = float(x), c.y = float(y);
        c.scale = float(scale), c.angle = float(angle);
        c.turn = turn ? 1 : 0;
        c.blend = blend, c.alpha = alpha;
        Note(c);
    }
    if (!Drawable(graph)) return;
    BlendScope scope(blend, alpha);
    DrawGraphRotatedAt(x, y, scale, angle, graph, 1, turn ? 1 : 0);
}

void Box(int x1, int y1, int x2, int y2, uint32_t colour, int alpha) {
    if (alpha <= 0) return;
    if (alpha > 255) alpha = 255;
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kBox;
        c.x = float(x1), c.y = float(y1), c.x2 = float(x2), c.y2 = float(y2);
        c.colour = colour;
        c.blend = alpha < 255 ? kAlpha : kPlain, c.alpha = alpha;
        Note(c);
    }
    BlendScope scope(alpha < 255 ? kAlpha : kPlain, alpha);
    DrawRectangle(x1, y1, x2, y2, colour, 1);
}

void Text(int x, int y, const char* text, uint32_t colour, int font, int blend, int alpha) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kText;
        c.handle = font;
        c.x = float(x), c.y = float(y);
        c.colour = colour;
        c.blend = blend, c.alpha = alpha;
        c.text = text;
        Note(c);
    }
    BlendScope scope(blend, alpha);
    if (font > 0)
        DrawTextWithFont(x, y, text, colour, font, 0, 0);
    else
        DrawTextAt(x, y, text, colour, 0);
}

void Wipe(int x, int y, int graph, int mask, int threshold, int edge) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kWipe;
        c.handle = graph;
        c.x = float(x), c.y = float(y);
        c.mask = mask, c.threshold = threshold, c.edge = edge;
        Note(c);
    }
    if (Drawable(graph)) DrawGraphWithBlendGraph(x, y, graph, 0, mask, threshold, edge);
}

void Tint(int red, int green, int blue) {
    if (ActiveRecorder()) {
        Call c;
        c.kind = Call::kTint;
        c.colour = MakeScreenColor(red, green, blue);
        Note(c);
    }
    SetDrawTint(red, green, blue);
}

}  // namespace gamedraw
