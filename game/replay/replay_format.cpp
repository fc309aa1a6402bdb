#include "game/replay/replay_format.h"

#include "game/input/input_blocks.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace replay {

namespace {

// ---- writing ----

void AppendHex(std::string* out, int32_t value) {
    char buffer[16];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, uint32_t(value), 16);
    out->append(buffer, r.ptr);
}

void AppendDecimal(std::string* out, int32_t value) {
    char buffer[16];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out->append(buffer, r.ptr);
}

// A decimal fraction that reads back as exactly this float: six places
// when they are enough, else as many as it takes.
void AppendFraction(std::string* out, float value) {
    char buffer[128];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    float back = 0;
    const auto parsed = std::from_chars(buffer, r.ptr, back);
    if (r.ec != std::errc() || parsed.ec != std::errc() || std::memcmp(&back, &value, sizeof value) != 0)
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (r.ec == std::errc()) out->append(buffer, r.ptr);
    else out->push_back('0');
}

// ---- reading ----

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// One line being read, number by number.
struct Cursor {
    const char* p;
    const char* end;

    void SkipBlanks() {
        while (p < end && IsBlank(*p)) ++p;
    }
    bool Separator(char c) {
        SkipBlanks();
        if (p >= end || *p != c) return false;
        ++p;
        return true;
    }
    bool AtEnd() {
        SkipBlanks();
        return p == end;
    }
    // Up to 32 bits of hexadecimal, as an int32 (two's complement).
    bool Hex(int32_t* out) {
        SkipBlanks();
        uint64_t v = 0;
        const char* start = p;
        for (; p < end; ++p) {
            const char c = *p;
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else break;
            v = v * 16 + uint64_t(digit);
            if (v > 0xFFFFFFFFull) return false;
        }
        if (p == start) return false;
        *out = int32_t(uint32_t(v));
        return true;
    }
    // A decimal int32 with an optional sign.
    bool Decimal(int32_t* out) {
        SkipBlanks();
        bool negative = false;
        if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
        int64_t v = 0;
        const char* start = p;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            v = v * 10 + (*p - '0');
            if (v > int64_t(INT32_MAX) + 1) return false;
        }
        if (p == start) return false;
        v = negative ? -v : v;
        if (v > INT32_MAX) return false;
        *out = int32_t(v);
        return true;
    }
    bool Fraction(float* out) {
        SkipBlanks();
        const auto r = std::from_chars(p, end, *out, std::chars_format::general);
        if (r.ec != std::errc()) return false;
        p = r.ptr;
        return true;
    }
};

bool Frame(int32_t frame, int32_t* previous) {
    if (frame < *previous) return false;
    *previous = frame;
    return true;
}

bool ReadHeld(Cursor& c, int keys, int32_t* lastFrame, std::vector<HeldRun>* out) {
    HeldRun r;
    if (!c.Hex(&r.frame) || !c.Separator(',') || !c.Hex(&r.index) || !c.Separator(':') || !c.Hex(&r.count) ||
        !c.AtEnd())
        return false;
    if (r.frame < 0 || r.index < 0 || r.index >= keys || r.count < 1 || !Frame(r.frame, lastFrame)) return false;
    out->push_back(r);
    return true;
}

bool ReadAction(Cursor& c, int32_t* lastFrame, std::vector<ActionPulse>* out) {
    ActionPulse a;
    if (!c.Decimal(&a.frame) || !c.Separator(',') || !c.Decimal(&a.slot) || !c.AtEnd()) return false;
    if (a.frame < 0 || a.slot < 0 || a.slot >= input::kActionWords || !Frame(a.frame, lastFrame)) return false;
    out->push_back(a);
    return true;
}

bool ReadSlope(Cursor& c, int32_t* lastFrame, std::vector<SlopeChange>* out) {
    SlopeChange s;
    if (!c.Decimal(&s.frame)) return false;
    for (float& v : s.value) {
        if (!c.Separator(',') || !c.Fraction(&v)) return false;
        if (!std::isfinite(v) || std::fabs(v) > kSlopeLimit) return false;
    }
    if (!c.AtEnd() || s.frame < 0 || !Frame(s.frame, lastFrame)) return false;
    out->push_back(s);
    return true;
}

bool ReadAnalog(Cursor& c, std::vector<AnalogRun>* out) {
    AnalogRun a;
    for (int k = 0; k < 6; ++k) {
        if ((k > 0 && !c.Separator(',')) || !c.Decimal(&a.words[k])) return false;
    }
    if (!c.Separator(':') || !c.Decimal(&a.count) || !c.AtEnd() || a.count < 1) return false;
    // Sticks x (words 0 and 4), triggers (2, 6), shoulders (3, 7).
    for (int k = 0; k < 6; ++k) {
        const int word = kAnalogStored[k];
        const int32_t v = a.words[k];
        const bool stick = word == input::kLeftX || word == input::kRightX;
        const bool trigger = word == input::kLeftTrigger || word == input::kRightTrigger;
        const bool ok = stick ? v >= kStickMin && v <= kStickMax : trigger ? v >= 0 && v <= kTriggerMax : v == 0 || v == 1;
        if (!ok) return false;
    }
    out->push_back(a);
    return true;
}

bool ReadMouse(Cursor& c, int32_t* lastFrame, std::vector<MouseRun>* out) {
    MouseRun m;
    if (!c.Hex(&m.frame) || !c.Separator(',') || !c.Hex(&m.x) || !c.Separator(',') || !c.Hex(&m.y) ||
        !c.Separator(':') || !c.Hex(&m.count) || !c.AtEnd())
        return false;
    if (m.frame < 0 || m.count < 1 || !Frame(m.frame, lastFrame)) return false;
    out->push_back(m);
    return true;
}

bool IsBlankLine(const char* p, const char* end) {
    for (; p < end; ++p) {
        if (!IsBlank(*p)) return false;
    }
    return true;
}

void Clear(PlayerStreams* s, Stream stream) {
    s->absent[stream] = false;
    switch (stream) {
    case ReplayStreams::kIn: s->buttons.clear(); break;
    case ReplayStreams::kAction: s->actions.clear(); break;
    case ReplayStreams::kSlope: s->slopes.clear(); break;
    case ReplayStreams::kAnalog: s->analogs.clear(); break;
    case ReplayStreams::kMouse: s->mice.clear(); break;
    case ReplayStreams::kKeyboard: s->keys.clear(); break;
    default: break;
    }
}

}  // namespace

const char* StreamWord(Stream stream) {
    static constexpr const char* kWords[kStreamCount] = {"in", "action", "slope", "analog", "mouse", "keyboard"};
    return stream >= 0 && stream < kStreamCount ? kWords[stream] : "";
}

bool PlayerStreams::Empty(Stream stream) const {
    switch (stream) {
    case ReplayStreams::kIn: return buttons.empty();
    case ReplayStreams::kAction: return actions.empty();
    case ReplayStreams::kSlope: return slopes.empty();
    case ReplayStreams::kAnalog: return analogs.empty();
    case ReplayStreams::kMouse: return mice.empty();
    case ReplayStreams::kKeyboard: return keys.empty();
    default: return true;
    }
}

void AppendStoredLine(const HeldRun& r, bool crlf, std::string* out) {
    AppendHex(out, r.frame);
    out->push_back(',');
    AppendHex(out, r.index);
    out->push_back(':');
    AppendHex(out, r.count);
    // The keyboard file has always been written in text mode.
    out->append(crlf ? "\r\n" : "\n");
}

void AppendStoredLine(const ActionPulse& a, std::string* out) {
    AppendDecimal(out, a.frame);
    out->push_back(',');
    AppendDecimal(out, a.slot);
    out->push_back('\n');
}

void AppendStoredLine(const SlopeChange& c, std::string* out) {
    AppendDecimal(out, c.frame);
    for (float v : c.value) {
        out->push_back(',');
        AppendFraction(out, v);
    }
    out->push_back('\n');
}

void AppendStoredLine(const AnalogRun& a, std::string* out) {
    for (int k = 0; k < 6; ++k) {
        if (k > 0) out->push_back(',');
        AppendDecimal(out, a.words[k]);
    }
    out->push_back(':');
    AppendDecimal(out, a.count);
    out->push_back('\n');
}

void AppendStoredLine(const MouseRun& m, std::string* out) {
    AppendHex(out, m.frame);
    out->push_back(',');
    AppendHex(out, m.x);
    out->push_back(',');
    AppendHex(out, m.y);
    out->push_back(':');
    AppendHex(out, m.count);
    out->push_back('\n');
}

void AppendStoredText(const PlayerStreams& s, Stream stream, std::string* out) {
    if (s.absent[stream]) {
        out->push_back('n');
        return;
    }
    switch (stream) {
    case ReplayStreams::kIn:
        for (const HeldRun& r : s.buttons) AppendStoredLine(r, false, out);
        break;
    case ReplayStreams::kKeyboard:
        for (const HeldRun& r : s.keys) AppendStoredLine(r, true, out);
        break;
    case ReplayStreams::kAction:
        for (const ActionPulse& a : s.actions) AppendStoredLine(a, out);
        break;
    case ReplayStreams::kSlope:
        for (const SlopeChange& c : s.slopes) AppendStoredLine(c, out);
        break;
    case ReplayStreams::kAnalog:
        for (const AnalogRun& a : s.analogs) AppendStoredLine(a, out);
        break;
    case ReplayStreams::kMouse:
        for (const MouseRun& m : s.mice) AppendStoredLine(m, out);
        break;
    default: break;
    }
}

std::string StoredText(const PlayerStreams& streams, Stream stream) {
    std::string text;
    AppendStoredText(streams, stream, &text);
    return text;
}

ParseReport ParseStoredText(std::string_view text, Stream stream, PlayerStreams* s) {
    ParseReport report;
    Clear(s, stream);
    if (!text.empty() && text.front() == 'n') {
        s->absent[stream] = true;
        return report;
    }
    int32_t lastFrame = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    for (int line = 1; p < end; ++line) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) lineEnd = end;
        Cursor c{p, lineEnd};
        bool ok = true;
        if (!IsBlankLine(p, lineEnd)) {
            switch (stream) {
            case ReplayStreams::kIn: ok = ReadHeld(c, 8, &lastFrame, &s->buttons); break;
            case ReplayStreams::kAction: ok = ReadAction(c, &lastFrame, &s->actions); break;
            case ReplayStreams::kSlope: ok = ReadSlope(c, &lastFrame, &s->slopes); break;
            case ReplayStreams::kAnalog: ok = ReadAnalog(c, &s->analogs); break;
            case ReplayStreams::kMouse: ok = ReadMouse(c, &lastFrame, &s->mice); break;
            case ReplayStreams::kKeyboard: ok = ReadHeld(c, input::kKeyboardWords, &lastFrame, &s->keys); break;
            default: ok = false; break;
            }
        }
        if (!ok && report.badLines++ == 0) report.firstBadLine = line;
        p = lineEnd < end ? lineEnd + 1 : end;
    }
    return report;
}

std::string MetaText(const std::vector<int32_t>& deviceTypes) {
    std::string text;
    for (int32_t type : deviceTypes) {
        AppendDecimal(&text, type);
        text.push_back(',');
    }
    return text;
}

static bool ReadMetaFields(std::string_view text, std::vector<int32_t>* deviceTypes, std::string* why) {
    deviceTypes->clear();
    const char* p = text.data();
    const char* const end = p + text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (true) {
        while (p < end && blank(*p)) ++p;
        if (p == end) break;  // the end, or only blanks after the last comma
        const char* fieldEnd = static_cast<const char*>(std::memchr(p, ',', size_t(end - p)));
        const bool last = !fieldEnd;
        if (last) fieldEnd = end;
        int32_t type = 0;
        Cursor c{p, fieldEnd};
        bool ok = c.Decimal(&type);
        while (ok && c.p < fieldEnd && blank(*c.p)) ++c.p;
        if (!ok || c.p != fieldEnd) {
            *why = "a field is not a number";
            return false;
        }
        if (type < 1 || type > 6) {
            *why = "device type " + std::to_string(type) + " does not exist";
            return false;
        }
        if (int(deviceTypes->size()) == kMaxMetaPlayers) {
            *why = "it names more than four players";
            return false;
        }
        deviceTypes->push_back(type);
        p = last ? end : fieldEnd + 1;
    }
    if (deviceTypes->empty()) {
        *why = "it names no player";
        return false;
    }
    return true;
}

bool ParseMeta(std::string_view text, std::vector<int32_t>* deviceTypes, std::string* why) {
    if (ReadMetaFields(text, deviceTypes, why)) return true;
    deviceTypes->clear();
    return false;
}

}  // namespace replay
