#include "game/play/sim/input_script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace playsim {

namespace {

bool ReadInt(const std::string& text, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000000L || v > 1000000000L) return false;
    *out = int(v);
    return true;
}

bool ReadFloats(const std::string& text, int count, float* out) {
    std::string rest = text;
    for (int k = 0; k < count; ++k) {
        const size_t comma = rest.find(',');
        const std::string field = rest.substr(0, comma);
        char* end = nullptr;
        out[k] = std::strtof(field.c_str(), &end);
        if (field.empty() || *end != '\0') return false;
        if (k + 1 < count && comma == std::string::npos) return false;
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    return rest.empty();
}

int ButtonIndexOf(const std::string& name) {
    static const char* const kNames[8] = {"up", "right", "down", "left", "action", "extra", "jump", "pause"};
    for (int k = 0; k < 8; ++k) {
        if (name == kNames[k]) return k;
    }
    return -1;
}

int AnalogIndexOf(const std::string& name) {
    static const char* const kNames[8] = {"lx", "ly", "lt", "lb", "rx", "ry", "rt", "rb"};
    for (int k = 0; k < 8; ++k) {
        if (name == kNames[k]) return k;
    }
    return -1;
}

}  // namespace

bool InputScript::Parse(const std::string& text, std::string* error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string range;
        if (!(words >> range)) continue;
        Entry base{};
        const size_t dash = range.find('-');
        if (!ReadInt(range.substr(0, dash), &base.first)) return fail("bad frame '" + range + "'");
        base.last = base.first;
        if (dash != std::string::npos && !ReadInt(range.substr(dash + 1), &base.last))
            return fail("bad frame range '" + range + "'");
        if (base.first < 1 || base.last < base.first) return fail("empty frame range '" + range + "'");
        std::string word;
        bool any = false;
        while (words >> word) {
            if (word.size() == 2 && word[0] == 'p' && word[1] >= '1' && word[1] <= '4') {
                base.player = word[1] - '1';
                continue;
            }
            Entry e = base;
            const size_t eq = word.find('=');
            const std::string name = word.substr(0, eq), value = eq == std::string::npos ? "" : word.substr(eq + 1);
            int n = 0;
            if (eq == std::string::npos && name == "right") {
                e.kind = Kind::kRight;
            } else if (eq == std::string::npos && name == "left") {
                e.kind = Kind::kLeft;
            } else if (eq == std::string::npos && name == "jump") {
                e.kind = Kind::kJump;
            } else if (eq == std::string::npos && ButtonIndexOf(name) >= 0) {
                e.kind = Kind::kButton;
                e.index = ButtonIndexOf(name);
            } else if (eq == std::string::npos && name == "slow") {
                e.kind = Kind::kKey;
                e.index = 48;
            } else if (name == "button" && ReadInt(value, &n) && n >= 0 && n < 8) {
                e.kind = Kind::kButton;
                e.index = n;
            } else if (name == "key" && ReadInt(value, &n) && n >= 0 && n < 49) {
                e.kind = Kind::kKey;
                e.index = n;
            } else if (AnalogIndexOf(name) >= 0 && ReadInt(value, &n)) {
                e.kind = Kind::kAnalog;
                e.index = AnalogIndexOf(name);
                e.values[0] = float(n);
            } else if (name == "mouse" && ReadFloats(value, 2, e.values)) {
                e.kind = Kind::kMouse;
            } else if (name == "slope" && ReadFloats(value, 3, e.values)) {
                e.kind = Kind::kSlope;
            } else if (name == "shake" && ReadInt(value, &n) && n >= 0 && n < 3) {
                e.kind = Kind::kShake;
                e.index = n;
            } else {
                return fail("unknown input '" + word + "'");
            }
            entries_.push_back(e);
            any = true;
        }
        if (!any) return fail("no input named");
    }
    return true;
}

void InputScript::Apply(int frame, int player, int deviceType, DeviceBlocks& b) const {
    std::memset(b.buttons.held, 0, sizeof b.buttons.held);
    std::memset(b.keyboard, 0, sizeof b.keyboard);
    std::memset(b.analog, 0, sizeof b.analog);
    for (const Entry& e : entries_) {
        if (e.player != player || frame < e.first || frame > e.last) continue;
        switch (e.kind) {
        case Kind::kRight:
        case Kind::kLeft:
        case Kind::kJump: {
            const int button = e.kind == Kind::kRight ? 1 : e.kind == Kind::kLeft ? 3 : 6;
            ++b.buttons.held[button];
            if (deviceType == 6) b.keyboard[e.kind == Kind::kRight ? 31 : e.kind == Kind::kLeft ? 25 : 0] = 1;
            if (deviceType == 4) {
                if (e.kind == Kind::kJump)
                    b.analog[2] = 255;
                else
                    b.analog[0] = e.kind == Kind::kRight ? 32767 : -32767;
            }
            break;
        }
        case Kind::kButton: ++b.buttons.held[e.index]; break;
        case Kind::kKey: b.keyboard[e.index] = 1; break;
        case Kind::kAnalog: b.analog[e.index] = int32_t(e.values[0]); break;
        case Kind::kMouse:
            b.mouse[0] = int32_t(e.values[0]);
            b.mouse[1] = int32_t(e.values[1]);
            break;
        case Kind::kSlope:
            for (int k = 0; k < 3; ++k) b.slope[k] = e.values[k];
            break;
        case Kind::kShake:
            if (b.actions[0] == 0 && b.actions[1] == 0 && b.actions[2] == 0) b.actions[e.index] = 30;
            break;
        }
    }
}

}  // namespace playsim
