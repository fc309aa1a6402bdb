// The staff roll's credits file and the layout of the roll.
#include "game/ending/staff_roll.h"

#include "engine/text.h"
#include "game/data/game_files.h"
#include "game/data/game_text.h"
#include "game/data/player_notice.h"

#include <algorithm>
#include <iterator>

namespace staffroll {

namespace {

constexpr std::string_view kGroupKeys[kGroupCount] = {"graphics", "sound", "thanks"};
constexpr std::string_view kClosingKey = "closing";
constexpr const char* kCreditHeadings[kGroupCount] = {"グラフィック素材", "音楽・効果音素材", "THANKS!!"};

// Row heights and the gap between sections before stretching.
constexpr int32_t kHeadingHeight = 70;
constexpr int32_t kCastHeight = 110;
constexpr int32_t kModelRowHeight = 150;
constexpr int32_t kCreditHeight = 44;
constexpr int32_t kClosingHeight = 40;
constexpr int32_t kSectionGap = 160;

// The entry cut to at most kMaxEntryBytes, never inside a character.
std::string Entry(std::string_view text) {
    char cut[kMaxEntryBytes + 1];
    const std::string whole(text);
    CopyTextLimited(cut, whole.c_str(), sizeof cut);
    return cut;
}

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return line;
}

}  // namespace

Credits ParseCredits(std::string_view text, int* skipped) {
    Credits credits;
    int skippedLines = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = TrimLineEnd(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        const size_t colon = line.find(':');
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        const auto group = std::find(std::begin(kGroupKeys), std::end(kGroupKeys), key);
        if (colon != std::string_view::npos && group != std::end(kGroupKeys)) {
            std::vector<std::string>& entries = credits.groups[group - std::begin(kGroupKeys)];
            if (entries.size() < size_t(kMaxEntries)) entries.push_back(Entry(value));
        } else if (colon != std::string_view::npos && key == kClosingKey) {
            credits.closing = Entry(value);
        } else {
            ++skippedLines;
        }
    }
    if (skipped) *skipped = skippedLines;
    return credits;
}

Credits ReadCredits(const char* path) {
    std::string text;
    if (!ReadGameFile(path, &text)) {
        ReportUnusableContent(path, "a staff roll", "the roll shows the cast alone");
        return {};
    }
    int skipped = 0;
    Credits credits = ParseCredits(text, &skipped);
    if (skipped > 0)
        ReportContentFault(path, "is damaged (%d of its lines have no known key): the roll goes without them", skipped);
    return credits;
}

std::vector<Row> Layout(const Credits& credits) {
    // The sections, each a run of rows; the gaps between them stretch so
    // that the closing line starts at kClosingTop.
    std::vector<std::vector<Row>> sections;
    auto cast = [&sections](const auto& members) {
        std::vector<Row> rows{{Row::kHeading, 0, kHeadingHeight, GameText("キャスト")}};
        for (const CastMember& m : members) rows.push_back({Row::kCast, 0, kCastHeight, GameText(m.name), m.catKind});
        sections.push_back(std::move(rows));
    };
    cast(kFirstCast);
    cast(kSecondCast);
    sections.push_back({{Row::kModels, 0, kModelRows * kModelRowHeight, {}}});
    for (int g = 0; g < kGroupCount; ++g) {
        std::vector<Row> rows{{Row::kHeading, 0, kHeadingHeight, GameText(kCreditHeadings[g])}};
        for (const std::string& entry : credits.groups[g]) rows.push_back({Row::kCredit, 0, kCreditHeight, entry});
        sections.push_back(std::move(rows));
    }

    int32_t natural = 0;
    for (const std::vector<Row>& rows : sections)
        for (const Row& row : rows) natural += row.height;
    const int32_t gaps = int32_t(sections.size());  // after each section, the last one before the closing line
    natural += gaps * kSectionGap;
    const int32_t slack = std::max(0, kClosingTop - natural);

    std::vector<Row> laid;
    int32_t top = 0;
    for (size_t s = 0; s < sections.size(); ++s) {
        for (Row& row : sections[s]) {
            row.top = top;
            top += row.height;
            laid.push_back(std::move(row));
        }
        // The slack shared out whole pixels at a time, the remainder on the first gaps.
        top += kSectionGap + slack / gaps + (int32_t(s) < slack % gaps ? 1 : 0);
    }
    laid.push_back({Row::kClosing, top, kClosingHeight, credits.closing});
    return laid;
}

}  // namespace staffroll
