// The one place where back ends are registered and chosen.
#include "acm/acm_builtin.h"
#include "fluidsynth/midi_fluidsynth.h"
#include "headless/audio_null.h"
#include "headless/input_scripted.h"
#include "headless/midi_fake.h"
#include "headless/shell_headless.h"
#include "headless/window_headless.h"
#include "hidraw/hid_hidraw.h"
#include "hidsim/hid_sim.h"
#include "posix/files_posix.h"
#include "posix/shell_posix.h"
#include "sdl2/audio_sdl2.h"
#include "sdl2/input_sdl2.h"
#include "sdl2/window_sdl2.h"

#include <atomic>
#include <cstring>

namespace morpotta::platform {
namespace {

const WindowBackend* const kWindowBackends[] = {&kSdl2WindowBackend, &kHeadlessWindowBackend};
const WindowBackend* currentWindow = &kSdl2WindowBackend;

const InputBackend* const kInputBackends[] = {&kSdl2InputBackend, &kScriptedInputBackend};
const InputBackend* currentInput = &kSdl2InputBackend;

const HidBackend* const kHidBackends[] = {&kHidrawBackend, &kHidSimBackend};
std::atomic<const HidBackend*> currentHid{&kHidrawBackend};

const AudioBackend* const kAudioBackends[] = {&kSdl2AudioBackend, &kNullAudioBackend};
const AudioBackend* currentAudio = &kSdl2AudioBackend;

const MidiBackend* const kMidiBackends[] = {&kFluidSynthMidiBackend, &kFakeMidiBackend};
const MidiBackend* currentMidi = &kFluidSynthMidiBackend;

const ShellBackend* const kShellBackends[] = {&kPosixShellBackend, &kHeadlessShellBackend};
const ShellBackend* currentShell = &kPosixShellBackend;

// Finds a back end by its name in one of the tables above.
template <typename Backend, size_t N>
const Backend* FindByName(const Backend* const (&table)[N], const char* name) {
    for (const Backend* b : table)
        if (name && std::strcmp(b->name, name) == 0) return b;
    return nullptr;
}

}  // namespace

bool SelectWindowBackend(const char* name) {
    const WindowBackend* b = FindByName(kWindowBackends, name);
    if (b) currentWindow = b;
    return b != nullptr;
}

const WindowBackend& Window() { return *currentWindow; }

const FileSystemBackend& Files() { return kPosixFileSystemBackend; }

bool SelectInputBackend(const char* name) {
    const InputBackend* b = FindByName(kInputBackends, name);
    if (b) currentInput = b;
    return b != nullptr;
}

const InputBackend& Input() { return *currentInput; }

bool SelectHidBackend(const char* name) {
    const HidBackend* b = FindByName(kHidBackends, name);
    if (b) currentHid.store(b);
    return b != nullptr;
}

const HidBackend& Hid() { return *currentHid.load(); }

bool SelectAudioBackend(const char* name) {
    const AudioBackend* b = FindByName(kAudioBackends, name);
    if (b) currentAudio = b;
    return b != nullptr;
}

const AudioBackend& Audio() { return *currentAudio; }

// One compression back end: the engine's readers test its entries for null.
const AcmFunctions& Acm() { return kBuiltinAcm; }

bool SelectMidiBackend(const char* name) {
    const MidiBackend* b = FindByName(kMidiBackends, name);
    if (b) currentMidi = b;
    return b != nullptr;
}

const MidiBackend& Midi() { return *currentMidi; }

bool SelectShellBackend(const char* name) {
    const ShellBackend* b = FindByName(kShellBackends, name);
    if (b) currentShell = b;
    return b != nullptr;
}

const ShellBackend& Shell() { return *currentShell; }

}  // namespace morpotta::platform
