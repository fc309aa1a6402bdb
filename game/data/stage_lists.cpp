// The stage-name lists: the normal list in groups (a header line whose first
// character is a digit, 'a' or 'b', then one stage name per line, then a
// line beginning "end"), and the versus list as name and note line pairs.
#include "game/data/game_data.h"

#include "game/data/game_files.h"
#include "game/data/player_notice.h"
#include "game/data/text_fields.h"

#include <algorithm>

namespace {

constexpr const char* kNormalListPath = "tpa\\stage\\stage_normal_list.txt";
constexpr const char* kVsListPath = "tpa\\stage\\stage_vs_list.txt";
constexpr int kVsEntries = 5;

// One line of a text: [begin, end) without its CR LF; next is where the
// following line starts.
struct Line {
    size_t begin, end, next;
};

Line LineAt(const std::string& text, size_t at) {
    size_t feed = text.find('\n', at);
    size_t next = feed == std::string::npos ? text.size() : feed + 1;
    size_t end = feed == std::string::npos ? text.size() : feed;
    if (end > at && text[end - 1] == '\r') --end;
    return {at, end, next};
}

bool IsHeader(const std::string& text, const Line& line) {
    if (line.end == line.begin) return false;
    char c = text[line.begin];
    return (c >= '0' && c <= '9') || c == 'a' || c == 'b';
}

bool IsEndLine(const std::string& text, const Line& line) {
    return textfields::CompareBytes(std::string_view(text).substr(line.begin, line.end - line.begin), "end", 3) == 0;
}

}  // namespace

void GameData::LoadStageLists() {
    stageNameText.clear();
    for (int32_t& start : stageListStart) start = 0;
    for (int32_t& count : stageListCount) count = 0;
    for (int i = 0; i < kVsEntries; ++i) vsStageNames[i].clear(), vsStageNotes[i].clear();

    if (!ReadGameFile(kNormalListPath, &stageNameText))
        ReportUnusableContent(kNormalListPath, "a stage list", "sets and stages are shown without their names");
    int groups = 0;
    bool overflowed = false, strayed = false;
    for (size_t at = 0; at < stageNameText.size();) {
        const Line line = LineAt(stageNameText, at);
        at = line.next;
        if (line.end == line.begin || overflowed) continue;
        if (IsHeader(stageNameText, line)) {
            if (groups == GameData::kStageGroupCount) {
                overflowed = true;
                ReportContentFault(kNormalListPath, "holds more than %d groups: the rest is left out", GameData::kStageGroupCount);
                continue;
            }
            stageListStart[groups++] = static_cast<int32_t>(line.begin);
        } else if (groups == 0) {
            if (!strayed)
                ReportContentFault(kNormalListPath,
                                   "is damaged (it holds lines before its first group): they are left out");
            strayed = true;
        } else if (!IsEndLine(stageNameText, line)) {
            ++stageListCount[groups - 1];
        }
    }
    // Groups the file lacks start at its end: an empty title and no stages.
    for (int g = groups; g <= GameData::kStageGroupCount; ++g) stageListStart[g] = static_cast<int32_t>(stageNameText.size());

    std::string vs;
    if (!ReadGameFile(kVsListPath, &vs))
        ReportUnusableContent(kVsListPath, "a stage list", "the versus stages are shown without their names");
    size_t at = 0;
    for (int i = 0; i < kVsEntries && at < vs.size(); ++i) {
        Line name = LineAt(vs, at);
        vsStageNames[i] = textfields::MakeSubstring(vs, name.begin, name.end - name.begin);
        at = name.next;
        if (at >= vs.size()) break;
        Line note = LineAt(vs, at);
        vsStageNotes[i] = textfields::MakeSubstring(vs, note.begin, note.end - note.begin);
        at = note.next;
    }
}

std::string GameData::MenuLabelText(int list, int entry) const {
    static const std::string kUnknown = "???";
    if (list < 0 || list >= GameData::kStageGroupCount || entry < -1 || entry > stageListCount[list]) return kUnknown;
    const std::string& text = stageNameText;
    size_t at = static_cast<size_t>(stageListStart[list]);
    if (at >= text.size()) return entry == -1 ? std::string() : kUnknown;
    const Line header = LineAt(text, at);
    if (entry == -1) {
        size_t titleBegin = std::min(header.begin + 2, header.end);
        return textfields::MakeSubstring(text, titleBegin, header.end - titleBegin);
    }
    at = header.next;
    for (int n = 0; at < text.size();) {
        const Line line = LineAt(text, at);
        at = line.next;
        if (line.end == line.begin) continue;
        if (IsEndLine(text, line) || IsHeader(text, line)) return "end";
        if (n++ == entry) return textfields::MakeSubstring(text, line.begin, line.end - line.begin);
    }
    return kUnknown;
}
