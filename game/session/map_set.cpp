#include "game/session/map_set.h"

#include "engine/random.h"
#include "game/data/game_files.h"
#include "game/data/player_notice.h"
#include "game/data/text_fields.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kModeVersus = 4;
constexpr int32_t kPhaseScene = 2;

bool IsStageNumber(int32_t n) { return n >= 0 && n < MapSet::kStageNumbers; }

// The fields of a stage line after "m ": up to three, comma-separated.
std::vector<std::string_view> StageFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::string_view rest = line.substr(std::min<size_t>(2, line.size()));
    while (fields.size() < 3) {
        const size_t comma = rest.find(',');
        fields.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return fields;
}

// A stage line, checked; false (logged) when it cannot be played.
bool ParseStageLine(std::string_view line, const char* name, MapSet::Line* out) {
    const std::vector<std::string_view> f = StageFields(line);
    if (f[0].empty() || f[0][0] != 'r') {
        out->kind = MapSet::Line::kStage;
        size_t used = 0;
        out->value = textfields::ReadDecimal(f[0], &used);
        if (used > 0 && IsStageNumber(out->value)) return true;
        ReportContentFault(name, "is damaged (\"%.*s\" names no stage 0..99): that line is left out", int(line.size()),
                           line.data());
        return false;
    }
    out->kind = MapSet::Line::kRandomStages;
    out->value = textfields::ReadDecimal(f[0].substr(1));
    out->first = f.size() > 1 ? textfields::ReadDecimal(f[1]) : 0;
    out->last = f.size() > 2 ? textfields::ReadDecimal(f[2]) : 0;
    // k different stages must exist in a..b, or the draw could never end.
    if (IsStageNumber(out->first) && IsStageNumber(out->last) && out->first <= out->last && out->value >= 1 &&
        out->value <= out->last - out->first + 1) {
        return true;
    }
    ReportContentFault(name, "is damaged (it asks for %d different stages of %d..%d): that line is left out",
                       out->value, out->first, out->last);
    return false;
}

}  // namespace

int32_t MapSet::StartPhase(int32_t phase) const {
    if (!hasSlotLine) return phase;
    if (startsWithScene) return kPhaseScene;
    return phase == kPhaseScene || phase == kModeVersus ? phase : 0;
}

std::string MapSetFilePath(int32_t mode, int32_t setNumber) {
    const char* prefix = nullptr;
    if (mode == 0 || mode == 1 || mode == 2) prefix = "tpa\\mapset\\normal_set";
    if (mode == kModeVersus) prefix = "tpa\\mapset\\vs_set";
    if (!prefix) return "";
    char path[64];
    std::snprintf(path, sizeof path, "%s%d%s", prefix, setNumber, ".set");
    return path;
}

MapSet ParseMapSet(std::string_view text, const char* name) {
    MapSet set;
    while (!text.empty()) {
        const std::string_view line = textfields::LineOf(text);
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        if (line.empty()) continue;
        MapSet::Line parsed{MapSet::Line::kStage};
        switch (line[0]) {
            case 'm':
                if (!ParseStageLine(line, name, &parsed)) continue;
                set.hasSlotLine = true;
                set.endsWithScene = false;
                set.stageSlots += parsed.kind == MapSet::Line::kStage ? 1 : parsed.value;
                break;
            case 'B':
                parsed.kind = MapSet::Line::kMusic;
                parsed.value = line.size() > 4 && line[4] == '-' ? -1 : textfields::ReadDecimal(line.substr(std::min<size_t>(4, line.size())));
                break;
            case 'b':
                parsed.kind = MapSet::Line::kBonus;
                parsed.value = textfields::ReadDecimal(line.substr(std::min<size_t>(6, line.size())));
                break;
            case 's':
                parsed.kind = MapSet::Line::kScene;
                parsed.value = textfields::ReadDecimal(line.substr(std::min<size_t>(2, line.size())));
                if (!set.hasSlotLine) set.startsWithScene = true;
                set.hasSlotLine = true;
                set.endsWithScene = true;
                break;
            default:
                continue;
        }
        set.lines.push_back(parsed);
    }
    set.slotCount = set.stageSlots + (set.endsWithScene ? 1 : 0);
    return set;
}

MapSet ReadMapSet(const char* path) {
    std::string text;
    if (!ReadGameFile(path, &text))
        ReportUnusableContent(path, "a map set", "the set cannot be played, and play goes back to the title");
    return ParseMapSet(text, path);
}

int32_t BuildMapSet(const MapSet& set, const MapSetSteps& steps) {
    const int32_t lastStage = set.LastStageSlot();
    int32_t slot = 0;
    auto makeStage = [&](int32_t stageNumber) {
        if (steps.stage) steps.stage(slot, stageNumber, slot == lastStage);
        ++slot;
    };
    for (const MapSet::Line& line : set.lines) {
        switch (line.kind) {
            case MapSet::Line::kStage:
                makeStage(line.value);
                break;
            case MapSet::Line::kRandomStages: {
                std::vector<int32_t> drawn;
                for (int32_t k = 0; k < line.value; ++k) {
                    int32_t n;
                    do {
                        n = line.first + GetRandomUpTo(line.last - line.first);
                    } while (std::find(drawn.begin(), drawn.end(), n) != drawn.end());
                    drawn.push_back(n);
                    makeStage(n);
                }
                break;
            }
            case MapSet::Line::kMusic:
                if (steps.music) steps.music(line.value);
                break;
            case MapSet::Line::kBonus:
                if (steps.bonus) steps.bonus(line.value);
                break;
            case MapSet::Line::kScene:
                if (steps.scene) steps.scene(slot, line.value, slot == set.stageSlots);
                break;
        }
    }
    return set.slotCount;
}
