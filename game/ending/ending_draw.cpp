// Drawing the ending: the script's scene, the congratulation and the staff
// roll on black, the closing screen, the fade over each and the dissolve
// from the last captured screen.
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/model.h"
#include "engine/text.h"
#include "engine/vecmath.h"
#include "game/data/game_data.h"
#include "game/data/game_text.h"
#include "game/draw/screen_basics.h"
#include "game/ending/ending_scene.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int kHeadingFontSize = 28, kCastFontSize = 24, kCreditFontSize = 20, kBigFontSize = 34;
constexpr int kScoreFontSize = 20;

// The congratulation: rows of the player's face crossing the screen.
constexpr int kFaceRowY[] = {40, 100, 380, 440};
constexpr int kFaceSpacing = 64;
constexpr int kFaceRowSpeed = 2;  // pixels per roll position
constexpr double kFaceRowScale = 1.5;

// The roll: one pixel up per roll position, the closing line stopping with
// its middle at the middle of the screen.
constexpr double kCastFaceScale = 2.0;
constexpr int kCastFaceX = 210, kCastNameX = 260;
constexpr int kClosingStopY = 220;

// The cat models' line-up: kModelColumns across, spinning in place at this
// depth in front of the camera.
constexpr float kModelDepth = 350.0f;
constexpr int kModelColumnX[staffroll::kModelColumns] = {110, 250, 390, 530};
constexpr int kModelRowHeight = 150;
constexpr int kSpinFrames = 240;  // one turn
constexpr int kPoseFrames = 12;   // walking poses 1 and 2 take turns

uint32_t Colour(int r, int g, int b) { return MakeScreenColor(r, g, b); }

int FontOfSize(const GameData& data, int size) {
    const int index = std::clamp((size - 16) / 2, 0, GameData::kFontCount - 1);
    return data.fonts[index];
}

void DrawCentredText(const GameData& data, int y, const std::string& text, uint32_t colour, int size) {
    if (text.empty()) return;
    const int font = FontOfSize(data, size);
    const int width = GetStringWidthWithFont(text.c_str(), int(text.size()), font);
    DrawTextWithFont((kScreenWidth - std::max(width, 0)) / 2, y, text.c_str(), colour, font, 0, 0);
}

void DrawBlackOverlay(int alpha) {
    if (alpha <= 0) return;
    SetBlendModeParam(BlendAlpha, std::min(alpha, 255));
    DrawRectangle(0, 0, kScreenWidth, kScreenHeight, Colour(0, 0, 0), 1);
    SetBlendModeParam(BlendCopy, 255);
}

int FaceOfKind(const GameData& data, int32_t kind) {
    return kind >= 1 && kind <= GameData::kCatKinds ? data.catFaces[kind - 1] : 0;
}

// Places points given in screen pixels at a depth in front of the camera,
// whatever the view and projection: the screen is linear in the view's x
// and y at one depth, so two projected points give the mapping back.
class ScreenPlane {
public:
    explicit ScreenPlane(float depth) : depth_(depth) {
        float view[16];
        CopyViewMatrix(view);
        Matrix44 m;
        std::memcpy(m.m, view, sizeof view);
        toWorld_ = MakeInverseMatrix(m);
        const Vector3 origin = Project(0, 0), corner = Project(100, 100);
        originX_ = origin.x;
        originY_ = origin.y;
        scaleX_ = (corner.x - origin.x) / 100;
        scaleY_ = (corner.y - origin.y) / 100;
    }
    bool Usable() const { return scaleX_ != 0 && scaleY_ != 0; }
    Vector3 WorldAt(float screenX, float screenY) const {
        return ViewToWorld((screenX - originX_) / scaleX_, (screenY - originY_) / scaleY_);
    }

private:
    Vector3 ViewToWorld(float x, float y) const {
        const float in[3] = {x, y, depth_};
        Vector3 out;
        TransformPointByMatrix(&out.x, in, &toWorld_.m[0][0]);
        return out;
    }
    Vector3 Project(float x, float y) const {
        const Vector3 world = ViewToWorld(x, y);
        return WorldToScreenPos(&world.x);
    }

    float depth_;
    Matrix44 toWorld_;
    float originX_ = 0, originY_ = 0, scaleX_ = 0, scaleY_ = 0;
};

}  // namespace

void EndingScene::Draw() {
    if (!data) return;
    switch (phase) {
    case kScript:
        // The script's scene ends with the dissolve itself.
        if (script) script->DrawMessageWindow();
        DrawFade();
        return;
    case kRoll:
        DrawRectangle(0, 0, kScreenWidth, kScreenHeight, Colour(0, 0, 0), 1);
        if (rollPos <= kRollCongratulation) DrawCongratulation();
        DrawRoll();
        break;
    case kClosing: DrawClosing(); break;
    default: break;
    }
    DrawFade();
    data->DrawScreenTransition(-1);
}

void EndingScene::DrawFade() const { DrawBlackOverlay(std::min(fade, kFadeFrames) * 255 / kFadeFrames); }

void EndingScene::DrawCongratulation() const {
    const int face = FaceOfKind(*data, PlayerKind());
    if (face > 0) {
        const int period = kScreenWidth + kFaceSpacing;
        for (size_t row = 0; row < std::size(kFaceRowY); ++row) {
            const int shift = (row % 2 == 0 ? 1 : -1) * rollPos * kFaceRowSpeed;
            for (int i = 0; i * kFaceSpacing < period; ++i) {
                const int x = ((i * kFaceSpacing + shift) % period + period) % period - kFaceSpacing / 2;
                DrawGraphRotatedAt(x, kFaceRowY[row], kFaceRowScale, 0.0, face, 1, row % 2 == 0 ? 0 : 1);
            }
        }
    }
    const uint32_t yellow = Colour(255, 255, 0), white = Colour(255, 255, 255);
    DrawTextWithFont(30, 160, "C O N G R A T U L A T I O N !!", yellow, FontOfSize(*data, kBigFontSize), 0, 0);
    if (soundTestMessage) {
        static const std::string finalSet = GameText("ホントに最後のセット");
        static const std::string timeAttack = GameText("ゲット タイムアタック！！");
        const int font = FontOfSize(*data, kHeadingFontSize);
        DrawTextWithFont(180, 250, finalSet.c_str(), white, font, 0, 0);
        DrawTextWithFont(160, 290, timeAttack.c_str(), white, font, 0, 0);
    }
}

void EndingScene::DrawRoll() const {
    const uint32_t yellow = Colour(255, 255, 0), white = Colour(255, 255, 255);
    const int32_t scrolled = rollPos - kRollCongratulation;
    for (const staffroll::Row& row : rollRows) {
        int32_t y = kScreenHeight + row.top - scrolled;
        if (row.kind == staffroll::Row::kClosing) y = std::max(y, kClosingStopY);
        if (y >= kScreenHeight || y + row.height <= 0) continue;
        switch (row.kind) {
        case staffroll::Row::kHeading: DrawCentredText(*data, y, row.text, yellow, kHeadingFontSize); break;
        case staffroll::Row::kCast: {
            const int face = FaceOfKind(*data, row.catKind);
            if (face > 0) DrawGraphRotatedAt(kCastFaceX, y + row.height / 2 - 10, kCastFaceScale, 0.0, face, 1, 0);
            const int font = FontOfSize(*data, kCastFontSize);
            DrawTextWithFont(kCastNameX, y + row.height / 2 - 10 - kCastFontSize / 2, row.text.c_str(), white, font, 0, 0);
            break;
        }
        case staffroll::Row::kModels: DrawModelLineUp(y); break;
        case staffroll::Row::kCredit: DrawCentredText(*data, y, row.text, white, kCreditFontSize); break;
        case staffroll::Row::kClosing: DrawCentredText(*data, y, row.text, white, kHeadingFontSize); break;
        }
    }
}

void EndingScene::DrawModelLineUp(int32_t top) const {
    const ScreenPlane plane(kModelDepth);
    if (!plane.Usable()) return;
    for (int i = 0; i < staffroll::kModelRows * staffroll::kModelColumns; ++i) {
        const int32_t catKind = staffroll::kModelKinds[i];
        const int pose = 1 + (frameCount / kPoseFrames) % 2;
        const int model = data->catModels[catKind - 1][pose];
        if (model <= 0) continue;
        const int column = i % staffroll::kModelColumns, row = i / staffroll::kModelColumns;
        const float angle = float(frameCount % kSpinFrames) * 6.2831853f / kSpinFrames + float(i) * 0.5f;
        // The model turns about its own origin: move it so that the middle
        // of its box (the box of the model as loaded) stays on the spot.
        float low[3], high[3];
        if (GetModelBoundingBox(model, low, high) != 0) continue;
        const float centre[3] = {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
        Matrix44 turn;
        BuildEulerXYZMatrix(&turn, 0.0f, angle, 0.0f);
        float turnedCentre[3];
        TransformPointByMatrix(turnedCentre, centre, &turn.m[0][0]);
        const Vector3 at = plane.WorldAt(float(kModelColumnX[column]), float(top + kModelRowHeight / 2 + row * kModelRowHeight));
        SetModelFrameOpacity(model, 0, 1.0f);
        SetModelRotation(model, 0.0f, angle, 0.0f);
        SetModelPosition(model, at.x - turnedCentre[0], at.y - turnedCentre[1], at.z - turnedCentre[2]);
        DrawModel(model);
        SetModelRotation(model, 0.0f, 0.0f, 0.0f);  // the handles are shared with play and the title
    }
}

void EndingScene::DrawClosing() const {
    const uint32_t yellow = Colour(255, 255, 0), white = Colour(255, 255, 255);
    DrawGraphAt(0, -(frameCount % kBootScrollRows), data->bootPicture, 0);
    const int font = FontOfSize(*data, kScoreFontSize);
    static const std::string scoreLabel = GameText("スコア:");
    DrawTextWithFont(220, 10, scoreLabel.c_str(), yellow, font, 0, 0);
    char digits[16];
    FormatStringInto(digits, "%08d", int(score));
    DrawTextWithFont(300, 10, digits, white, font, 0, 0);
    const int face = FaceOfKind(*data, PlayerKind());
    if (face > 0) DrawGraphAt(50, 430, face, 1);
    if (kind == 1) {
        const int last = FaceOfKind(*data, GameData::kCatKinds);
        if (last > 0) DrawGraphAt(90, 430, last, 1);
    }
    if (!messages[0].empty()) DrawTextAt(180, 150, messages[0].c_str(), yellow, 0);
    for (int i = 1; i < kMessageCount; ++i) {
        if (!messages[i].empty()) DrawTextAt(50, 200 + (i - 1) * 40, messages[i].c_str(), white, 0);
    }
    if (data->endLogo > 0) {
        SetBlendModeParam(BlendAdd, 255);
        DrawGraphAt(420, 380, data->endLogo, 1);
        SetBlendModeParam(BlendCopy, 255);
    }
}
