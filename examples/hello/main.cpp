// hello: a small program on the engine. A window with a ball that the arrow
// keys move, a line of text in a named face, a frame count in the default
// face, and a beep at the start and on each press of the space key. Escape
// or closing the window ends it. The ball and the beep are made here, in
// memory: the program reads no files.
//
//   hello [frames [picture.png]]
// frames: end after that many frames (0 or none: run until closed);
// picture.png: the last frame saved there as PNG.
#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBallSize = 48;
constexpr double kPi = 3.14159265358979323846;

// A shaded orange ball, transparent outside its circle.
int MakeBallPicture() {
    PixelFormatDesc format;
    SetPixelFormatArgb32(&format);
    BASEIMAGE image;
    if (CreateBaseImageWithFormat(kBallSize, kBallSize, &format, &image) != 0) return -1;
    const double radius = kBallSize / 2.0;
    for (int y = 0; y < kBallSize; ++y)
        for (int x = 0; x < kBallSize; ++x) {
            const double dx = x + 0.5 - radius, dy = y + 0.5 - radius;
            const bool inside = dx * dx + dy * dy < radius * radius;
            // Lit from the top left.
            const double light = std::clamp(1.0 - std::hypot(dx + 10, dy + 10) / (2 * radius), 0.2, 1.0);
            SetBaseImagePixel(&image, x, y, int(255 * light), int(150 * light), int(40 * light), inside ? 255 : 0);
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

void PutLittleEndian(std::vector<uint8_t>* bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes->push_back(uint8_t(value >> (8 * i)));
}

// A short beep as a WAVE file in memory: 0.15 s of 880 Hz, 16-bit mono at
// 22050 Hz, faded in and out.
std::vector<uint8_t> MakeBeepWave() {
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate * 15 / 100;
    std::vector<uint8_t> wave;
    wave.insert(wave.end(), {'R', 'I', 'F', 'F'});
    PutLittleEndian(&wave, 36 + kSamples * 2, 4);
    wave.insert(wave.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLittleEndian(&wave, 16, 4);
    PutLittleEndian(&wave, 1, 2);          // PCM
    PutLittleEndian(&wave, 1, 2);          // one channel
    PutLittleEndian(&wave, kRate, 4);
    PutLittleEndian(&wave, kRate * 2, 4);  // bytes per second
    PutLittleEndian(&wave, 2, 2);          // bytes per sample
    PutLittleEndian(&wave, 16, 2);         // bits per sample
    wave.insert(wave.end(), {'d', 'a', 't', 'a'});
    PutLittleEndian(&wave, kSamples * 2, 4);
    for (int i = 0; i < kSamples; ++i) {
        const double fade = std::min({1.0, i / 200.0, (kSamples - i) / 200.0});
        const double value = 12000 * fade * std::sin(2 * kPi * 880 * i / kRate);
        PutLittleEndian(&wave, uint16_t(int16_t(std::lround(value))), 2);
    }
    return wave;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 0;
    const char* picturePath = argc > 2 ? argv[2] : nullptr;

    ChangeWindowMode(1);
    SetAppWindowTitle("hello");
    // The program saves nothing, so copies of it may run side by side in
    // one folder.
    SetDoubleStartCheck(0);
    if (InitializeEngine() != 0) {
        std::fprintf(stderr, "hello: the engine did not start (its log, Log.txt, says why)\n");
        return 1;
    }

    const int ball = MakeBallPicture();
    const std::vector<uint8_t> beepWave = MakeBeepWave();
    // -1 without a sound device: the program goes on silent.
    const int beep = CreateSoundHandleFromImage(beepWave.data(), int(beepWave.size()), 1);
    // A face installed on the system, named by its family; a name that is
    // not installed gives the engine's default face (and a line in the log).
    const int font = CreateFontToHandle("DejaVu Sans", 20, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    if (ball == -1 || font == -1) {
        std::fprintf(stderr, "hello: the picture or the font could not be made (see Log.txt)\n");
        ShutdownEngine();
        return 1;
    }
    if (beep != -1) PlaySoundHandle(beep, kPlayTypeBack);

    int x = (640 - kBallSize) / 2, y = (480 - kBallSize) / 2;
    int frame = 0;
    bool spaceWasDown = false;
    while (ProcessWindowMessages() == 0 && !QueryKeyState(KEYCODE_ESCAPE)) {
        x = std::clamp(x + 4 * (QueryKeyState(KEYCODE_RIGHT) - QueryKeyState(KEYCODE_LEFT)), 0, 640 - kBallSize);
        y = std::clamp(y + 4 * (QueryKeyState(KEYCODE_DOWN) - QueryKeyState(KEYCODE_UP)), 0, 400 - kBallSize);
        const bool spaceDown = QueryKeyState(KEYCODE_SPACE) != 0;
        if (spaceDown && !spaceWasDown && beep != -1) PlaySoundHandle(beep, kPlayTypeBack);
        spaceWasDown = spaceDown;

        ClearDrawScreenToBackColor(nullptr);
        DrawRectangle(0, 400, 640, 480, MakeScreenColor(30, 60, 90), 1);
        DrawGraphAt(x, y, ball, 1);
        DrawTextWithFont(16, 16, "Arrow keys move the ball, space beeps, Escape ends.", MakeScreenColor(255, 255, 255),
                         font, 0, 0);
        DrawFormattedText(16, 440, MakeScreenColor(200, 220, 255), "frame %d, ball at %d, %d", frame, x, y);
        ++frame;
        const bool last = frames > 0 && frame >= frames;
        if (last && picturePath && SaveDrawScreenToPng(picturePath) != 0)
            std::fprintf(stderr, "hello: %s could not be written\n", picturePath);
        PresentFrame();
        if (last) break;
    }
    std::printf("hello: %d frames, sound %s\n", frame, beep != -1 ? "on" : "off");
    ShutdownEngine();
    return 0;
}
