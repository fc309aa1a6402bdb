// Keyboard, mouse and joypads, refreshed by every pass of the message
// processing. Keys are numbered as PC keyboard scan codes (extended keys at
// +0x80), by physical position, with the Japanese layout's own numbers for
// the keys whose legend differs there. Mouse positions are in the draw
// screen (640x480) whatever the screen mode and the window's size: the draw
// screen is shown stretched over the window, and a point maps with it.
// Game pads of the console kind are read by user index through
// QueryGamePadState.
#pragma once
#include <cstdint>

enum : int {
    KEYCODE_ESCAPE = 0x01,
    KEYCODE_1 = 0x02, KEYCODE_2 = 0x03, KEYCODE_3 = 0x04, KEYCODE_4 = 0x05, KEYCODE_5 = 0x06,
    KEYCODE_6 = 0x07, KEYCODE_7 = 0x08, KEYCODE_8 = 0x09, KEYCODE_9 = 0x0A, KEYCODE_0 = 0x0B,
    KEYCODE_MINUS = 0x0C,
    KEYCODE_BACKSPACE = 0x0E,
    KEYCODE_TAB = 0x0F,
    KEYCODE_Q = 0x10, KEYCODE_W = 0x11, KEYCODE_E = 0x12, KEYCODE_R = 0x13, KEYCODE_T = 0x14,
    KEYCODE_Y = 0x15, KEYCODE_U = 0x16, KEYCODE_I = 0x17, KEYCODE_O = 0x18, KEYCODE_P = 0x19,
    KEYCODE_LEFTBRACKET = 0x1A,   // Japanese layout: right of '@'
    KEYCODE_RIGHTBRACKET = 0x1B,  // Japanese layout: right of ':'
    KEYCODE_ENTER = 0x1C,
    KEYCODE_LEFTCTRL = 0x1D,
    KEYCODE_A = 0x1E, KEYCODE_S = 0x1F, KEYCODE_D = 0x20, KEYCODE_F = 0x21, KEYCODE_G = 0x22,
    KEYCODE_H = 0x23, KEYCODE_J = 0x24, KEYCODE_K = 0x25, KEYCODE_L = 0x26,
    KEYCODE_SEMICOLON = 0x27,
    KEYCODE_GRAVE = 0x29,
    KEYCODE_LEFTSHIFT = 0x2A,
    KEYCODE_BACKSLASH = 0x2B,     // Japanese layout: right of '/'
    KEYCODE_Z = 0x2C, KEYCODE_X = 0x2D, KEYCODE_C = 0x2E, KEYCODE_V = 0x2F, KEYCODE_B = 0x30,
    KEYCODE_N = 0x31, KEYCODE_M = 0x32,
    KEYCODE_COMMA = 0x33, KEYCODE_PERIOD = 0x34, KEYCODE_SLASH = 0x35,
    KEYCODE_RIGHTSHIFT = 0x36,
    KEYCODE_KEYPAD_MULTIPLY = 0x37,
    KEYCODE_LEFTALT = 0x38,
    KEYCODE_SPACE = 0x39,
    KEYCODE_CAPSLOCK = 0x3A,
    KEYCODE_F1 = 0x3B, KEYCODE_F2 = 0x3C, KEYCODE_F3 = 0x3D, KEYCODE_F4 = 0x3E, KEYCODE_F5 = 0x3F,
    KEYCODE_F6 = 0x40, KEYCODE_F7 = 0x41, KEYCODE_F8 = 0x42, KEYCODE_F9 = 0x43, KEYCODE_F10 = 0x44,
    KEYCODE_NUMLOCK = 0x45,
    KEYCODE_SCROLLLOCK = 0x46,
    KEYCODE_KEYPAD_7 = 0x47, KEYCODE_KEYPAD_8 = 0x48, KEYCODE_KEYPAD_9 = 0x49, KEYCODE_KEYPAD_MINUS = 0x4A,
    KEYCODE_KEYPAD_4 = 0x4B, KEYCODE_KEYPAD_5 = 0x4C, KEYCODE_KEYPAD_6 = 0x4D, KEYCODE_KEYPAD_PLUS = 0x4E,
    KEYCODE_KEYPAD_1 = 0x4F, KEYCODE_KEYPAD_2 = 0x50, KEYCODE_KEYPAD_3 = 0x51, KEYCODE_KEYPAD_0 = 0x52,
    KEYCODE_KEYPAD_PERIOD = 0x53,
    KEYCODE_NONUS_BACKSLASH = 0x56,
    KEYCODE_F11 = 0x57, KEYCODE_F12 = 0x58,
    KEYCODE_F13 = 0x64, KEYCODE_F14 = 0x65, KEYCODE_F15 = 0x66,
    KEYCODE_KANA = 0x70,
    KEYCODE_CONVERT = 0x79,
    KEYCODE_NOCONVERT = 0x7B,
    KEYCODE_YEN = 0x7D,
    KEYCODE_KEYPAD_EQUALS = 0x8D,
    KEYCODE_CIRCUMFLEX = 0x90,   // Japanese layout: at the place of '='
    KEYCODE_AT = 0x91,           // Japanese layout: right of P
    KEYCODE_COLON = 0x92,        // Japanese layout: right of ';'
    KEYCODE_KEYPAD_ENTER = 0x9C,
    KEYCODE_RIGHTCTRL = 0x9D,
    KEYCODE_MUTE = 0xA0,
    KEYCODE_VOLUMEDOWN = 0xAE,
    KEYCODE_VOLUMEUP = 0xB0,
    KEYCODE_KEYPAD_COMMA = 0xB3,
    KEYCODE_KEYPAD_DIVIDE = 0xB5,
    KEYCODE_PRINTSCREEN = 0xB7,
    KEYCODE_RIGHTALT = 0xB8,
    KEYCODE_PAUSE = 0xC5,
    KEYCODE_HOME = 0xC7,
    KEYCODE_UP = 0xC8,
    KEYCODE_PAGEUP = 0xC9,
    KEYCODE_LEFT = 0xCB,
    KEYCODE_RIGHT = 0xCD,
    KEYCODE_END = 0xCF,
    KEYCODE_DOWN = 0xD0,
    KEYCODE_PAGEDOWN = 0xD1,
    KEYCODE_INSERT = 0xD2,
    KEYCODE_DELETE = 0xD3,
    KEYCODE_LEFTMETA = 0xDB,
    KEYCODE_RIGHTMETA = 0xDC,
    KEYCODE_MENU = 0xDD,
    KEYCODE_POWER = 0xDE,
    KEYCODE_SLEEP = 0xDF,
};

// QueryPadButtons bits.
constexpr int PAD_DOWN = 1;
constexpr int PAD_LEFT = 2;
constexpr int PAD_RIGHT = 4;
constexpr int PAD_UP = 8;
constexpr int PadButtonBit(int button) { return 16 << button; }  // buttons 0..23
constexpr int kPadButtonCount = 24;

// ReadMouseButtons bits.
constexpr int MOUSE_BUTTON_LEFT = 1;
constexpr int MOUSE_BUTTON_RIGHT = 2;
constexpr int MOUSE_BUTTON_MIDDLE = 4;

// Joypad numbers run from 1; a pad that is unplugged keeps its number
// (reading 0) and one plugged in takes the first free number, its own when
// it comes back. The count covers every number given out since input start.
int CountJoypads();
// 1 down, 2 left, 4 right, 8 up (first hat, or the first stick past half
// deflection), PadButtonBit(i) for buttons 0..23. 0 for an empty number.
int QueryPadButtons(int padNumber);

// 1 while the key is held, else 0. While the window is inactive it waits
// (processing messages) until the window is active again.
int QueryKeyState(int keyCode);
// Fills 256 bytes: 1 for each held key, 0 otherwise. 0, or -1 for null.
int QueryAllKeyStates(unsigned char* keys);

int GetMousePosition(int* x, int* y);     // draw screen; 0
int ReadMouseButtons();                   // MOUSE_BUTTON_* bits
// Wheel notches since the last clear (+ forward); a nonzero flag clears.
int GetMouseWheelCount(int clear);

// Game pads of the console kind (user index 0..3). Button bits of
// GamePadInput::buttons:
constexpr uint16_t GAMEPAD_DPAD_UP = 0x0001;
constexpr uint16_t GAMEPAD_DPAD_DOWN = 0x0002;
constexpr uint16_t GAMEPAD_DPAD_LEFT = 0x0004;
constexpr uint16_t GAMEPAD_DPAD_RIGHT = 0x0008;
constexpr uint16_t GAMEPAD_START = 0x0010;
constexpr uint16_t GAMEPAD_BACK = 0x0020;
constexpr uint16_t GAMEPAD_LEFT_THUMB = 0x0040;
constexpr uint16_t GAMEPAD_RIGHT_THUMB = 0x0080;
constexpr uint16_t GAMEPAD_LEFT_SHOULDER = 0x0100;
constexpr uint16_t GAMEPAD_RIGHT_SHOULDER = 0x0200;
constexpr uint16_t GAMEPAD_A = 0x1000;
constexpr uint16_t GAMEPAD_B = 0x2000;
constexpr uint16_t GAMEPAD_X = 0x4000;
constexpr uint16_t GAMEPAD_Y = 0x8000;

struct GamePadInput {
    uint32_t packetNumber = 0;  // changes whenever the rest changes
    uint16_t buttons = 0;       // GAMEPAD_* bits
    uint8_t leftTrigger = 0, rightTrigger = 0;  // 0..255
    int16_t leftX = 0, leftY = 0;               // -32767..32767, y up positive
    int16_t rightX = 0, rightY = 0;
};

// 0 and the pad's state; -1 when no pad has that user index, the index is
// out of range or input is not started (the state is left as it was).
int QueryGamePadState(int userIndex, GamePadInput* state);

// Back end of the input layer ("sdl2" or "scripted"); before start-up.
int SetInputBackend(const char* name);
