// The input manager over an engine on the headless window with scripted
// input, and simulated Wii remotes behind the HID layer (none unless a test
// adds them). Frame() is one frame of play: a message pass, then the six
// gatherings in the order the game makes them.
#pragma once
#include <memory>

#include "game/input/input_manager.h"
#include "game/savedata.h"
#include "platform/hid.h"
#include "platform/hidsim.h"
#include "scripted_engine_fixture.h"
#include "wiiremote/wiimote.h"

using namespace morpotta;

class GameInputTest : public ScriptedEngineTest {
protected:
    void SetUp() override {
        ScriptedEngineTest::SetUp();
        platform::SelectHidBackend("sim");
        platform::RemoveAllSimulatedRemotes();
        SetWiimoteTraceSink([](const char*) {});
        SaveData::SetDefaults(save);
    }
    void TearDown() override {
        manager.reset();
        platform::RemoveAllSimulatedRemotes();
        platform::SelectHidBackend("hidraw");
        SetWiimoteTraceSink(nullptr);
        ScriptedEngineTest::TearDown();
    }

    // Starts the engine (steps scripted for frame 0 apply in its first
    // pass) and finds the devices.
    int StartAndEnumerate() {
        Start();
        Pass();
        manager = std::make_unique<InputManager>(save.keyRows);
        return manager->EnumerateDevices();
    }

    // A script step that the next frame applies.
    void Next(const platform::ScriptedInput& step) { AtFrame(platform::ScriptedInputFrame(), step); }

    void Frame() {
        Pass();
        GatherAll();
    }
    void GatherAll() {
        manager->GatherButtons();
        manager->GatherActions();
        manager->GatherSlopes();
        manager->GatherAnalog();
        manager->GatherMouse();
        manager->GatherKeyboard();
    }

    const input::InputArrays& Arrays() const { return manager->arrays; }
    const int32_t* Held(int slot) const { return Arrays().buttons[slot]->held; }
    int Type(int slot) const { return manager->devices[slot]->type; }

    // Which of the six arrays have an entry at the slot, as a string of
    // six 0/1 digits in array order: buttons, actions, slopes, analogs,
    // mice, keyboards.
    std::string Blocks(int slot) const {
        const input::InputArrays& a = Arrays();
        std::string s;
        for (bool present : {a.buttons[slot] != nullptr, a.actions[slot] != nullptr, a.slopes[slot] != nullptr,
                             a.analogs[slot] != nullptr, a.mice[slot] != nullptr, a.keyboards[slot] != nullptr})
            s += present ? '1' : '0';
        return s;
    }

    SaveData save{};
    std::unique_ptr<InputManager> manager;
};
