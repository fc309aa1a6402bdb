// Loading and running scenario scripts: the command reader and the
// per-frame runner with its states.
#include "game/script/scenario_script.h"

#include "engine/log.h"
#include "engine/text.h"
#include "game/data/game_data.h"
#include "game/data/game_files.h"
#include "game/data/game_sound.h"
#include "game/data/player_notice.h"
#include "game/data/text_fields.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kStartX = -100, kStartY = 240;
constexpr int kBackgroundOfEnding[2] = {4, 5};  // world picture behind each ending
// Hop counters wrap back by whole hops long before they could overflow.
constexpr int32_t kHopWrap = ScenarioScript::kHopFrames * 100000;

bool Holds(input::ButtonBlock* const* buttons, int button) {
    if (!buttons) return false;
    for (int i = 0; i < input::kSlotCount; ++i) {
        if (buttons[i] && buttons[i]->held[button] > 0) return true;
    }
    return false;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t comma = text.find(',');
        fields.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

int32_t Field(const std::vector<std::string_view>& fields, size_t i) {
    return i < fields.size() ? textfields::ReadDecimal(fields[i]) : 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return textfields::CompareBytes(text, prefix, prefix.size()) == 0;
}

}  // namespace

std::string ScenarioScript::FilePath(int32_t number, bool ending) {
    char path[64];
    std::snprintf(path, sizeof path, "%s%d%s", ending ? "tpa\\scenario\\ending" : "tpa\\scenario\\scenario", number,
                  ".scn");
    return path;
}

ScenarioScript::ScenarioScript(int32_t scriptNumber, bool ending, int32_t cat, GameData* gameData, bool closingScene) {
    Init(scriptNumber, ending, cat, gameData, closingScene);
    const std::string path = FilePath(scriptNumber, ending);
    if (ReadGameFile(path.c_str(), &text)) {
        path_ = path;
    } else {
        ReportUnusableContent(path.c_str(), "a scene script", "the scene is left out");
        state = kEnded;
    }
}

ScenarioScript::ScenarioScript(std::string scriptText, bool ending, int32_t cat, GameData* gameData,
                               bool closingScene) {
    Init(0, ending, cat, gameData, closingScene);
    text = std::move(scriptText);
}

std::unique_ptr<ScenarioScript> ScenarioScript::FromText(std::string scriptText, bool ending, int32_t cat,
                                                         GameData* gameData, bool closingScene) {
    return std::unique_ptr<ScenarioScript>(new ScenarioScript(std::move(scriptText), ending, cat, gameData, closingScene));
}

void ScenarioScript::Init(int32_t scriptNumber, bool ending, int32_t cat, GameData* gameData, bool closingScene) {
    number = scriptNumber;
    playerCat = cat;
    isEnding = ending;
    isScene = closingScene;
    data = gameData;
    for (int s = 0; s < kSlots; ++s) {
        x[s] = toX[s] = kStartX;
        y[s] = toY[s] = kStartY;
        facesRight[s] = 1;
    }
    if (data) background = data->sceneBackgrounds[ending && (number == 0 || number == 1) ? kBackgroundOfEnding[number] : 0];
}

bool ScenarioScript::TakeFinished() {
    const bool was = finished;
    finished = 0;
    return was;
}

// ---------------------------------------------------------------- reading

void ScenarioScript::SkipWhiteSpace() {
    while (position < text.size()) {
        const char c = text[position];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
        ++position;
    }
}

bool ScenarioScript::ReadKeyword(std::string_view* keyword) {
    SkipWhiteSpace();
    if (text.size() - position < 5) {
        position = text.size();
        state = kEnded;
        return false;
    }
    *keyword = std::string_view(text).substr(position, 5);
    position += 5;
    return true;
}

std::string_view ScenarioScript::RestOfLine() {
    const std::string_view line = textfields::LineOf(std::string_view(text).substr(position));
    position = std::min(text.size(), position + line.size() + 1);
    return line;
}

bool ScenarioScript::SlotOk(int32_t slot, const char* command) const {
    if (slot >= 0 && slot < kSlots) return true;
    char what[64];
    std::snprintf(what, sizeof what, "%s names slot %d, not 0..%d", command, int(slot), kSlots - 1);
    SayDamage(what);
    return false;
}

void ScenarioScript::SayDamage(std::string_view what) const {
    if (path_.empty()) {
        WriteLogFormat("scenario script %d: %.*s; ignored", int(number), int(what.size()), what.data());
        return;
    }
    ReportContentFault(path_.c_str(), "is damaged (%.*s): such commands are left out", int(what.size()), what.data());
}

// ---------------------------------------------------------------- commands

void ScenarioScript::RunCommand(bool skipping) {
    std::string_view keyword;
    if (!ReadKeyword(&keyword)) return;
    const std::string_view rest = RestOfLine();
    // Music, effects and conditions run while skipping; the rest only
    // passes its line.
    if (keyword == "pbgm ") {
        if (data) data->PlayBgm(textfields::ReadDecimal(rest));
    } else if (keyword == "catif" || keyword == "notif") {
        Condition(rest.substr(std::min<size_t>(1, rest.size())), keyword == "catif");
    } else if (keyword == "endif") {
        // Ends a skip; nothing to do here.
    } else if (keyword == "effec") {
        Effect(rest.substr(std::min<size_t>(2, rest.size())));
    } else if (skipping) {
        return;
    } else if (keyword == "mes \"") {
        ShowMessage(rest);
    } else if (keyword == "wait ") {
        waitLeft = textfields::ReadDecimal(rest);
        state = kWaiting;
    } else if (keyword == "move ") {
        StartMove(rest);
    } else if (keyword == "turn ") {
        Turn(rest);
    } else if (keyword == "jumps") {
        if (StartsWith(rest, "tart")) {
            Hop(rest.substr(4), true);
        } else if (StartsWith(rest, "top")) {
            Hop(rest.substr(3), false);
        }
    } else {
        // Keywords are five bytes of any kind: a damaged file shows here.
        std::string shown;
        for (char c : keyword) shown += c >= ' ' && c < 127 && c != '"' ? c : '?';
        SayDamage("\"" + shown + "\" is no command");
    }
}

void ScenarioScript::ShowMessage(std::string_view line) {
    // The text runs to the closing quote; a message never spans lines, so a
    // missing quote ends it at the line's end.
    std::string_view body = line.substr(0, line.find('"'));
    if (body.size() == line.size() && !body.empty() && body.back() == '\r') body.remove_suffix(1);
    SplitMessage(body, lines);
    state = kMessage;
}

void ScenarioScript::SplitMessage(std::string_view body, std::string out[kMessageLines]) {
    for (int i = 0; i < kMessageLines; ++i) out[i].clear();
    int line = 0;
    for (size_t i = 0; i < body.size() && line < kMessageLines;) {
        // "\n" counts only where a character starts: the second byte of a
        // double-byte character may be a backslash.
        if (body[i] == '\\' && i + 1 < body.size() && body[i + 1] == 'n') {
            ++line;
            i += 2;
            continue;
        }
        const size_t bytes = IsMultiByteLeadByte(&body[i]) && i + 1 < body.size() ? 2 : 1;
        if (out[line].size() + bytes > size_t(kMessageLineBytes)) {
            if (++line == kMessageLines) break;
        }
        out[line].append(body.substr(i, bytes));
        i += bytes;
    }
}

void ScenarioScript::StartMove(std::string_view arguments) {
    const std::vector<std::string_view> f = SplitFields(arguments);
    const int32_t slot = Field(f, 0);
    if (!SlotOk(slot, "move")) return;
    currentSlot = slot;
    fromX[slot] = x[slot];
    fromY[slot] = y[slot];
    toX[slot] = Field(f, 1);
    toY[slot] = Field(f, 2);
    moveLeft[slot] = moveTotal[slot] = Field(f, 3);
    if (f.size() > 4 && !f[4].empty()) {
        if (f[4][0] == 'w') waitForMove = 1;
        if (f[4][0] == '-') waitForMove = 0;
    }
    state = kMoving;
}

void ScenarioScript::Turn(std::string_view arguments) {
    const std::vector<std::string_view> f = SplitFields(arguments);
    const int32_t slot = Field(f, 0);
    if (!SlotOk(slot, "turn")) return;
    currentSlot = slot;
    const char side = f.size() > 1 && !f[1].empty() ? f[1][0] : 0;
    if (side == 'r') facesRight[slot] = 1;
    if (side == 'l') facesRight[slot] = 0;
}

void ScenarioScript::Hop(std::string_view arguments, bool start) {
    const int32_t slot = textfields::ReadDecimal(arguments);
    if (!SlotOk(slot, start ? "jumpstart" : "jumpstop")) return;
    if (start) {
        if (hopFrames[slot] == 0) hopFrames[slot] = 1;
        hopStop[slot] = 0;
    } else {
        hopStop[slot] = 1;
    }
}

void ScenarioScript::Condition(std::string_view arguments, bool runForListed) {
    bool listed = false;
    for (std::string_view field : SplitFields(arguments)) listed = listed || textfields::ReadDecimal(field) == playerCat;
    if (listed != runForListed) {
        savedState = state;
        state = kSkipToEndif;
    }
}

void ScenarioScript::Effect(std::string_view arguments) {
    effect = textfields::ReadDecimal(arguments);
    if (effect == 0) noBackground = 0;
    if (effect == 1) noBackground = 1;
    if (effect == 2) flashLeft = kFlashFrames;
}

void ScenarioScript::SkipToEndif() {
    while (state == kSkipToEndif) {
        std::string_view keyword;
        if (!ReadKeyword(&keyword)) return;
        RestOfLine();
        if (keyword == "endif") state = savedState;
    }
}

// ---------------------------------------------------------------- one frame

void ScenarioScript::Run(input::ButtonBlock* const* buttons) {
    if (state == kReady) RunCommand(false);
    while (state == kSkipToEnd) {
        RunCommand(true);
        SkipToEndif();
    }
    SkipToEndif();
    UpdateMoves();
    if (flashLeft > 0 && --flashLeft == 0) effect = 0;
    UpdateHops();
    CheckSkip(buttons);
    UpdateState(buttons);
    if (frameCount < INT32_MAX) ++frameCount;
}

void ScenarioScript::UpdateMoves() {
    for (int s = 0; s < kSlots; ++s) {
        if (moveLeft[s] > 0 && --moveLeft[s] == 0) moveTotal[s] = 0;
    }
    for (int s = 0; s < kSlots; ++s) {
        if (moveTotal[s] > 0) {
            // Between from and to, so the result fits; the product needs 64 bits.
            x[s] = int32_t(toX[s] - (int64_t(toX[s]) - fromX[s]) * moveLeft[s] / moveTotal[s]);
            y[s] = int32_t(toY[s] - (int64_t(toY[s]) - fromY[s]) * moveLeft[s] / moveTotal[s]);
        } else {
            x[s] = toX[s];
            y[s] = toY[s];
        }
    }
}

void ScenarioScript::UpdateHops() {
    for (int s = 0; s < kSlots; ++s) {
        if (hopFrames[s] <= 0) continue;
        ++hopFrames[s];
        if (hopFrames[s] % kHopFrames == 0) {
            if (hopStop[s]) {
                hopFrames[s] = 0;
                hopStop[s] = 0;
            } else if (hopFrames[s] >= kHopWrap) {
                hopFrames[s] = kHopFrames;
            }
        }
    }
}

void ScenarioScript::CheckSkip(input::ButtonBlock* const* buttons) {
    // A START held from before the scene does not skip it.
    if (frameCount <= 1) startLatch = 1;
    const bool start = Holds(buttons, input::kPause);
    if (start && !startLatch && frameCount != 0) {
        startLatch = 1;
        state = kSkipToEnd;
    } else if (!start) {
        startLatch = 0;
    }
}

void ScenarioScript::UpdateState(input::ButtonBlock* const* buttons) {
    switch (state) {
        case kMessage:
            if (!Holds(buttons, input::kJump)) {
                decideLatch = 0;
            } else if (!decideLatch) {
                if (data) gamesound::PlayHandle(data->seCursorMove, 1);
                state = kReady;
                decideLatch = 1;
            }
            break;
        case kMoving:
            if (!waitForMove) {
                state = kReady;
            } else if (std::none_of(moveLeft, moveLeft + kSlots, [](int32_t left) { return left > 0; })) {
                state = kReady;
                waitForMove = 0;
            }
            break;
        case kWaiting:
            if (waitLeft > INT32_MIN) --waitLeft;
            if (waitLeft <= 0) state = kReady;
            break;
        case kEnded:
            if (!isScene) {
                finished = 1;
            } else {
                if (endCount <= kEndFadeFrames) ++endCount;
                if (endCount > kEndFadeFrames) finished = 1;
            }
            break;
        default:
            break;
    }
}
