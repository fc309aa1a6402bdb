#include "game/app/game_app.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/files.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/input.h"
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "engine/sound.h"
#include "engine/timer.h"
#include "engine/window.h"
#include "game/data/game_data.h"
#include "game/data/game_files.h"
#include "game/data/game_text.h"
#include "game/data/player_notice.h"
#include "game/draw/screen_basics.h"
#include "game/input/input_manager.h"
#include "game/replay/replay_files.h"
#include "game/savedata.h"
#include "game/timetable.h"
#include "wiiremote/wiimote.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr int kWindowIconResource = 107;
constexpr const char* kLoadingPicture = "tpa\\mapScene\\nc6700.png";
constexpr int kPlayerLives = 15;
constexpr int kFinalSetMode = 1;       // the final set is played without lives


// The Wii remote driver's trace lines (every connection attempt, found or
// not) go to the log beside the engine's own: standard error is kept for
// what a player must see.
void TraceRemotesToLog(const char* line) {
    std::string text(line);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    WriteLogText(text.c_str());
}

// Start-up stopped at a content file: which file, where it was looked
// for, and how the game is meant to be started. The content is the folder
// tpa/ (or its archive tpa.dat) in the game's working directory, which the
// build makes in its own folder.
void SayContentUnusable(const char* path) {
    std::error_code error;
    const std::string here = std::filesystem::current_path(error).string();
    std::string file(path);
    std::replace(file.begin(), file.end(), '\\', '/');
    std::string what = file + (GameFileExists(path) ? " in " + here + " cannot be read as a picture"
                                                    : " is missing from " + here);
    if (!std::filesystem::is_directory("tpa", error) && !std::filesystem::exists("tpa.dat", error))
        what += " (there is no tpa/ folder of content there)";
    ReportToPlayer("cannot start: %s. Start the game from its build folder (cd build/release && ./apps/morpotta), "
                   "or with bash scripts/run.sh from the repository", what.c_str());
}

}  // namespace

GameApp::GameApp(scene::Factory factory)
    : buttons(noInput_.buttons),
      actions(noInput_.actions),
      slopes(noInput_.slopes),
      analogs(noInput_.analogs),
      mice(noInput_.mice),
      keyboards(noInput_.keyboards),
      factory_(std::move(factory)) {
    ForgetReportedSubjects();  // a new run tells of every file once again
    data = std::make_unique<GameData>();
    timeTable_ = std::make_unique<TimeTable>();
    TimeTable::Clear(*timeTable_);
    data->timeTable = timeTable_.get();
    save_ = std::make_unique<SaveData>();
    // The save's folder and the replays' are this copy's while it runs, and
    // what another run left unfinished there is settled before anything is read.
    if (!replay::FinishInterruptedStores()) {
        startFailed = 1;
        return;
    }
    SaveData::Load(*save_);
    data->save = save_.get();
    replays_ = std::make_unique<replay::ReplayFiles>();
    SetReplaySource(replays_.get());
    if (StartLibrary() != 0) {
        startFailed = 1;
        return;
    }
    if (!HardwareRenderingActive())
        ReportToPlayer("No GL device on this display: the game plays in 2-D, and its 3-D models are not drawn");
    TimeTable::Load(*timeTable_);
    if (!IsSoundSystemOpen()) ReportToPlayer("No sound device could be opened: the game plays without sound");
    SetWiimoteTraceSink(TraceRemotesToLog);
    input = std::make_unique<InputManager>(save_->keyRows);
    input->EnumerateDevices();
    data->LoadAll();
}

GameApp::~GameApp() {
    input.reset();  // disconnects the Wii remotes
    SetWiimoteTraceSink(nullptr);
    DeleteSession();
    title.reset();
    ending.reset();
    if (data) data->ReleaseAll();
    if (GetReplaySource() == replays_.get()) SetReplaySource(nullptr);
    SetGraphRestoreHandler(nullptr);
}

int GameApp::StartLibrary() {
    ChangeWindowMode(save_->windowed ? 1 : 0);
    SetScreenMode(640, 480, 32, 60);
    if (InitializeEngine() < 0) return -1;
    SelectDrawTargetScreen(kDrawScreenBack);
    SetDefaultFontType(3);
    SetDefaultFontSize(16);
    SetDrawFilterMode(1);
    SetDepthTestEnabled(1);
    SetDepthWriteEnabled(1);
    // The ambient light the device-restore callback brings back is the one
    // the game draws with from the start, so a device loss changes no picture.
    GameData::OnDeviceRestore();
    SetArchiveFileExtension("dat");
    SetArchiveKey("Pebl4KoRu");
    // The loading picture stays for the life of the engine.
    const int loading = OpenGraphFile(kLoadingPicture, 0);
    if (loading == -1) {
        SayContentUnusable(kLoadingPicture);
        return -1;
    }
    DrawGraphAt(0, 0, loading, 1);
    DrawTextAt(0, 0, "Now Loading...", White(), 0);
    // A window that cannot show the first picture would run the game unseen.
    if (PresentFrame() != 0) {
        ReportToPlayer("cannot start: the game's window cannot show its pictures");
        return -1;
    }
    return 0;
}

bool GameApp::RunFrame() {
    const int frameStart = GetMillisecondCount();
    const int period = save_->drawPeriod;
    if (period <= 0 || frameCount % (period + 1) == 0) Draw();
    ReadInput();
    UpdateScene();
    // Elapsed time through the wrap-safe difference: the count wraps at 31 bits.
    while (ElapsedMilliseconds(frameStart, GetMillisecondCount()) < kFrameMilliseconds) SleepMilliseconds(1);
    frameCount = frameCount == INT32_MAX ? 0 : frameCount + 1;
    return quitRequested == 0;
}

void GameApp::Draw() {
    ClearDrawScreenToBackColor(nullptr);
    switch (scene) {
    case kSceneBoot:
        DrawGraphAt(0, -(frameCount % kBootScrollRows), data->bootPicture, 0);
        DrawTextAt(0, 0, "Complete!", White(), 0);
        break;
    case kSceneTitle:
        if (title) title->Draw();
        break;
    case kScenePlay:
        if (session) session->Draw();
        break;
    case kSceneEnding:
        if (ending) ending->Draw();
        break;
    default: break;
    }
    PresentFrame();
}

void GameApp::ReadInput() {
    if (!input) return;
    // Outside play only the buttons; in play all six, in the order the
    // replays record them.
    buttons = input->GatherButtons();
    if (scene == kScenePlay) {
        actions = input->GatherActions();
        slopes = input->GatherSlopes();
        analogs = input->GatherAnalog();
        mice = input->GatherMouse();
        keyboards = input->GatherKeyboard();
    }
    returnToTitle = input->ReadF12Press() ? 1 : 0;
}

void GameApp::UpdateScene() {
    switch (scene) {
    case kSceneBoot: UpdateBoot(); break;
    case kSceneTitle: UpdateTitle(); break;
    case kScenePlay: UpdateSession(); break;
    case kSceneEnding: UpdateEnding(); break;
    default: break;
    }
    if (returnToTitle && title) {
        returnToTitle = 0;
        title->Init();
        data->transitionCount = 0;
        CaptureScreenToGraph(0, 0, 640, 480, data->captureGraph, 1);
        // The session or ending left behind is never shown again: freed now.
        DeleteSession();
        ending.reset();
        scene = kSceneTitle;
    }
}

scene::Context GameApp::SceneContext() {
    scene::Context context;
    context.data = data.get();
    context.input = input.get();
    context.save = save_.get();
    return context;
}

scene::FrameInput GameApp::CurrentInput() const {
    return {buttons, actions, slopes, analogs, mice, keyboards};
}

void GameApp::UpdateBoot() {
    if (!data->ready) return;
    if (++bootUpdates_ <= 1) return;
    if (factory_.makeTitle) title = factory_.makeTitle(SceneContext());
    if (!title) {
        if (bootUpdates_ == 2) WriteLogText("GameApp: no title scene could be made");
        return;
    }
    title->Init();
    data->CaptureScreen();
    scene = kSceneTitle;
}

void GameApp::UpdateTitle() {
    title->Update(buttons);
    if (title->TakeStartRequest()) {
        const int32_t mode = title->Mode();
        scene::SessionSetup setup{title->Stage(), mode, title->Entries(), mode == kFinalSetMode ? 0 : kPlayerLives};
        if (factory_.makeSession) session = factory_.makeSession(SceneContext(), setup);
        if (session) {
            scene = kScenePlay;
        } else {
            WriteLogFormat("GameApp: no play session could be made for mode %d", int(mode));
        }
    } else if (title->TakeQuitRequest()) {
        StoreSave();
        quitRequested = 1;
    }
}

void GameApp::UpdateSession() {
    if (!session) return;
    session->Update(CurrentInput());
    const scene::SessionRequests requests = session->TakeRequests();
    if (requests.title) {
        const int32_t phase = session->Phase();
        // The time-attack result phases keep their music playing.
        if (phase < 13 || phase > 15) data->PlayBgm(0);
        DeleteSession();
        ReturnToTitleScreen();
    } else if (requests.replace) {
        StoreSave();
        std::unique_ptr<scene::Session> next;
        scene::SessionSetup setup{-1, title->Mode(), title->Entries(), kPlayerLives};
        if (factory_.makeSession) next = factory_.makeSession(SceneContext(), setup);
        if (next) {
            next->CarryOver(*session);
            DeleteSession();
            session = std::move(next);
        } else {
            WriteLogText("GameApp: the next play session could not be made; back to the title");
            DeleteSession();
            data->PlayBgm(0);
            ReturnToTitleScreen();
        }
    } else if (requests.ending) {
        StoreSave();
        const scene::RunResult result = session->Result();
        scene::EndingSetup setup{result.isLastSet ? 1 : 0, title->Entries()};
        if (factory_.makeEnding) ending = factory_.makeEnding(SceneContext(), setup);
        DeleteSession();
        if (ending) {
            ending->ChooseMessages(result.finalSetUnlocked, result.soundTestUnlocked, result.score,
                                   result.newHighScore);
            scene = kSceneEnding;
        } else {
            WriteLogText("GameApp: no ending could be made; back to the title");
            data->PlayBgm(0);
            ReturnToTitleScreen();
        }
    }
}

void GameApp::UpdateEnding() {
    if (!ending) return;
    ending->Update(buttons);
    if (!ending->TakeDone()) return;
    data->PlayBgm(0);
    ReturnToTitleScreen();
    ending.reset();
}

void GameApp::ReturnToTitleScreen() {
    title->Reset();
    title->Init();
    ApplyUserViewMatrix(data->cameraMatrix);
    StoreSave();
    data->UpdateUnlocks();
    scene = kSceneTitle;
}

void GameApp::DeleteSession() { session.reset(); }

void GameApp::StoreSave() { SaveData::Store(*save_); }

int RunGame(scene::Factory factory) {
    SetAppWindowTitle(GameText("モルポッタ_v1.00").c_str());
    SetAppWindowIcon(kWindowIconResource);
    SetLogOutput(0);
    SetUseArchive(1);
    auto app = std::make_unique<GameApp>(std::move(factory));
    if (app->startFailed) {
        // Whatever did start is ended again: no window or full screen stays.
        app.reset();
        if (IsEngineInitialized()) ShutdownEngine();
        return -1;
    }
    while (ProcessWindowMessages() == 0 && app->RunFrame()) {
    }
    app.reset();
    ShutdownEngine();
    return 0;
}
