// The game run as a test runs it: headless window (software drawing),
// scripted input, null sound device and the virtual clock, in a temporary
// working directory whose tpa/ is the generated resource tree; and scenes
// that stand in for the title, the play session and the ending, doing what
// a test tells them and noting what GameApp asked of them.
#pragma once
#include "engine/engine.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "game/app/game_app.h"
#include "game/app/scenes.h"
#include "game/data/game_data.h"
#include "game/savedata.h"
#include "generated_tree.h"
#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/hidsim.h"
#include "platform/input.h"
#include "platform/window.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace morpotta;

// What the stand-in scenes saw, and what they are to do.
struct SceneScript {
    std::vector<std::string> calls;  // "title.init", "session.update", ...
    std::vector<int> titleDrawFrames;
    int titlesAlive = 0, sessionsAlive = 0, endingsAlive = 0;
    int sessionsMade = 0;
    scene::SessionSetup lastSetup{};
    int32_t lastEndingKind = -1;
    GameApp* app = nullptr;  // for the frame number
    // Called on each update; set the scene's request fields there.
    std::function<void(struct FakeTitle&)> onTitleUpdate;
    std::function<void(struct FakeSession&)> onSessionUpdate;
    std::function<void(struct FakeEnding&)> onEndingUpdate;

    int Count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : calls) n += c == call;
        return n;
    }
};

struct FakeTitle : scene::Title {
    explicit FakeTitle(SceneScript& s) : script(s) { ++script.titlesAlive; }
    ~FakeTitle() override { --script.titlesAlive; }
    void Init() override { script.calls.push_back("title.init"); }
    void Reset() override { script.calls.push_back("title.reset"); }
    void Update(input::ButtonBlock* const*) override {
        script.calls.push_back("title.update");
        if (script.onTitleUpdate) script.onTitleUpdate(*this);
    }
    void Draw() override { script.titleDrawFrames.push_back(script.app ? script.app->frameCount : -1); }
    bool TakeStartRequest() override { return Take(start); }
    bool TakeQuitRequest() override { return Take(quit); }
    int32_t Stage() const override { return stage; }
    int32_t Mode() const override { return mode; }
    const int32_t* Entries() const override { return entries; }
    static bool Take(bool& flag) {
        bool was = flag;
        flag = false;
        return was;
    }

    SceneScript& script;
    bool start = false, quit = false;
    int32_t stage = 3, mode = 0;
    int32_t entries[4] = {0, -1, -1, -1};
};

struct FakeSession : scene::Session {
    explicit FakeSession(SceneScript& s) : script(s) {
        ++script.sessionsAlive;
        ++script.sessionsMade;
    }
    ~FakeSession() override { --script.sessionsAlive; }
    void Update(const scene::FrameInput& input) override {
        script.calls.push_back("session.update");
        sawAllArrays = input.buttons && input.actions && input.slopes && input.analogs && input.mice && input.keyboards;
        if (script.onSessionUpdate) script.onSessionUpdate(*this);
    }
    void Draw() override { script.calls.push_back("session.draw"); }
    scene::SessionRequests TakeRequests() override {
        scene::SessionRequests r = requests;
        requests = {};
        return r;
    }
    int32_t Phase() const override { return phase; }
    void CarryOver(scene::Session& previous) override {
        carriedFrom = &previous;
        script.calls.push_back("session.carry");
    }
    scene::RunResult Result() const override { return result; }

    SceneScript& script;
    scene::SessionRequests requests;
    int32_t phase = 0;
    scene::RunResult result;
    scene::Session* carriedFrom = nullptr;
    bool sawAllArrays = false;
};

struct FakeEnding : scene::Ending {
    explicit FakeEnding(SceneScript& s) : script(s) { ++script.endingsAlive; }
    ~FakeEnding() override { --script.endingsAlive; }
    void ChooseMessages(bool, bool, int32_t, bool) override { script.calls.push_back("ending.messages"); }
    void Update(input::ButtonBlock* const*) override {
        script.calls.push_back("ending.update");
        if (script.onEndingUpdate) script.onEndingUpdate(*this);
    }
    void Draw() override { script.calls.push_back("ending.draw"); }
    bool TakeDone() override { return FakeTitle::Take(done); }

    SceneScript& script;
    bool done = false;
};

inline scene::Factory FakeScenes(SceneScript& script) {
    scene::Factory f;
    f.makeTitle = [&script](const scene::Context&) { return std::make_unique<FakeTitle>(script); };
    f.makeSession = [&script](const scene::Context&, const scene::SessionSetup& setup) {
        script.lastSetup = setup;
        return std::make_unique<FakeSession>(script);
    };
    f.makeEnding = [&script](const scene::Context&, const scene::EndingSetup& setup) {
        script.lastEndingKind = setup.kind;
        return std::make_unique<FakeEnding>(script);
    };
    return f;
}

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The content tree before anything else: where the build has not
        // made it, generating it plays stages, which resets the sound
        // recorder and the play clock a test sets up.
        ContentTreeRoot();
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetInputBackend("scripted"), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        platform::UseVirtualClock(true);
        platform::ResetInputScript();
        // No Wii remotes unless a test adds simulated ones.
        platform::SelectHidBackend("sim");
        platform::RemoveAllSimulatedRemotes();
        GameData::currentBgm = -1;
    }
    void TearDown() override {
        app_.reset();
        if (IsEngineInitialized()) ShutdownEngine();
        platform::UseVirtualClock(false);
        SetInputBackend("sdl2");
        SetWindowBackend("sdl2");
        SetSoundDeviceBackend("sdl2");
        platform::SelectHidBackend("hidraw");
    }
    // The working directory gets the generated tree as its tpa/ (once: a
    // test may start the game again in the same directory).
    void WithContent() {
        if (!std::filesystem::exists(dir_.path() / "tpa")) LinkContentTreeInto(dir_.path());
    }
    void Start() {
        WithContent();
        app_ = std::make_unique<GameApp>(FakeScenes(script_));
        script_.app = app_.get();
        ASSERT_EQ(app_->startFailed, 0);
    }
    // Starts with a save whose draw period is set.
    void StartWithDrawPeriod(int32_t period) {
        SaveData save;
        SaveData::SetDefaults(save);
        save.drawPeriod = period;
        ASSERT_TRUE(SaveData::Store(save));
        Start();
    }
    // One pass of the main loop: the message pass (one scripted input frame), then a frame.
    bool Step() { return ProcessWindowMessages() == 0 && app_->RunFrame(); }
    void StepUntil(int frameCount) {
        while (app_->frameCount < frameCount) ASSERT_TRUE(Step());
    }
    void KeyAt(int64_t frame, int key, bool down) {
        platform::ScriptInputAtFrame(frame, {platform::ScriptedInputKind::Key, 0, key, down ? 1 : 0, 0});
    }
    bool SaveFileExists() const { return std::filesystem::exists(dir_.path() / "morpoCatSave.dat"); }

    ScopedTempDir dir_;
    SceneScript script_;
    std::unique_ptr<GameApp> app_;
};

// What the game says when it starts on the software path, as it does in a
// headless window, with the log off.
constexpr const char* kNoGlDeviceLine =
    "morpotta: No GL device on this display: the game plays in 2-D, and its 3-D models are not drawn\n";

// Drawn on the GL device (models show only there).
class GameOnDeviceTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        ASSERT_EQ(SetWindowBackend("sdl2"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
    }
    void TearDown() override {
        GameTest::TearDown();
        SetGraphicsDeviceChoice("auto");
    }
};

// What `draw` puts on a cleared screen, as 0xRRGGBB pixels.
inline std::vector<uint32_t> DrawnScreen(const std::function<void()>& draw) {
    std::vector<uint32_t> shown(640 * 480);
    ClearDrawScreenToBackColor(nullptr);
    draw();
    EXPECT_EQ(ReadDrawScreenPixels(shown.data()), 0);
    for (uint32_t& c : shown) c &= 0xFFFFFF;
    return shown;
}

// The screen as a PNG for a look: into $GAME_PNG_DIR, else the build tree.
inline void SaveScreenPng(const char* name) {
    const char* dir = std::getenv("GAME_PNG_DIR");
    SaveDrawScreenToPng((std::filesystem::path(dir ? dir : MORPOTTA_BUILD_DIR) / name).string().c_str());
}

// Pixels of a box (right and bottom exclusive) of a 640x480 shot that are
// not black, and that are `colour` (0xRRGGBB).
inline int LitPixels(const std::vector<uint32_t>& shot, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x) n += shot[size_t(y) * 640 + size_t(x)] != 0;
    return n;
}
inline int PixelsOfColour(const std::vector<uint32_t>& shot, int x1, int y1, int x2, int y2, uint32_t colour) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x) n += shot[size_t(y) * 640 + size_t(x)] == colour;
    return n;
}
