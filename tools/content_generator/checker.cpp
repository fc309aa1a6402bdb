// The tree checker: every file of the manifest and every text file the
// game parses, against the rules its loaders rely on.
#include "checker.h"

#include "check_formats.h"
#include "engine/font.h"
#include "engine/text.h"
#include "font.h"
#include "game/title/stage_row_layout.h"
#include "manifest.h"
#include "playability.h"
#include "png_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class Checker {
public:
    explicit Checker(std::string root) : root_(std::move(root)) {}
    CheckReport report;

    // Resolves a game path component by component, ignoring case, as the
    // engine's file layer does.
    bool Read(const std::string& gamePath, std::vector<uint8_t>* bytes) {
        fs::path at = root_;
        std::stringstream parts(gamePath);
        std::string part;
        while (std::getline(parts, part, '\\')) {
            std::error_code ec;
            fs::path found;
            for (const auto& entry : fs::directory_iterator(at, ec)) {
                std::string name = entry.path().filename().string();
                if (name.size() == part.size() && std::equal(name.begin(), name.end(), part.begin(), [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    })) {
                    found = entry.path();
                    break;
                }
            }
            if (found.empty()) {
                Problem(gamePath, "missing");
                return false;
            }
            at = found;
        }
        std::ifstream in(at, std::ios::binary);
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ++report.filesChecked;
        return true;
    }

    // Text files: read and check that they are code page 932.
    bool ReadText(const std::string& gamePath, std::string* text) {
        std::vector<uint8_t> bytes;
        if (!Read(gamePath, &bytes)) return false;
        text->assign(bytes.begin(), bytes.end());
        std::string utf8;
        if (!ConvertCp932ToUtf8(*text, &utf8)) {
            Problem(gamePath, "not valid code page 932 text");
            return false;
        }
        return true;
    }

    bool Exists(const std::string& gamePath) {
        std::vector<uint8_t> ignored;
        int problems = int(report.problems.size());
        bool ok = Read(gamePath, &ignored);
        if (!ok) report.problems.resize(size_t(problems));
        --report.filesChecked;
        return ok;
    }

    void Problem(const std::string& file, const std::string& what) { report.problems.push_back(file + ": " + what); }

private:
    std::string root_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool ParseInt(const std::string& s, int* value) {
    if (s.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < -2147483647L || v > 2147483647L) return false;
    *value = int(v);
    return true;
}

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> fields;
    std::stringstream in(s);
    std::string field;
    while (std::getline(in, field, separator)) fields.push_back(field);
    return fields;
}

// ---------------------------------------------------------------- resources

void CheckPictures(Checker& c) {
    for (const PictureSpec& spec : Pictures()) {
        std::vector<uint8_t> bytes;
        if (!c.Read(spec.path, &bytes)) continue;
        Image image;
        std::string error;
        if (!DecodePng(bytes, &image, &error)) {
            c.Problem(spec.path, error);
            continue;
        }
        if (image.width != spec.width || image.height != spec.height) {
            c.Problem(spec.path, "is " + std::to_string(image.width) + "x" + std::to_string(image.height) + ", needs " +
                                     std::to_string(spec.width) + "x" + std::to_string(spec.height));
        }
        if (spec.width % spec.across != 0 || spec.height % spec.down != 0) c.Problem(spec.path, "does not divide evenly");
    }
}

// The field places a model at its cell's position and turns it about its
// origin, so the origin is the middle of the cell: every model stays within
// its cell (a little more for trims and ears), and a standing cat's feet
// are where a standing cat's box meets the block below.
constexpr float kCellHalf = 40.0f, kCellSlack = 10.0f, kCatFeet = -27.5f;

bool IsStandingCatPose(const std::string& path) {
    return path.find("neko3D") != std::string::npos && path.find("_ju.") == std::string::npos;
}

// The kind of a block model (0 the body, 4 the cap on top), -1 for any other
// model: "map_block<world>_<kind>.mqo" and "map_blockEX_<kind>.mqo".
int BlockKind(const std::string& path) {
    if (path.find("map_block") == std::string::npos || path.size() < 5) return -1;
    const char kind = path[path.size() - 5];
    return kind >= '0' && kind <= '4' ? kind - '0' : -1;
}

// Neighbouring blocks meet without a slot: a body fills its cell exactly in
// x and y, and the cap stays within the cell's sides (it may rise above the
// top), so nothing of it shows over the neighbour's cell.
void CheckBlockFit(Checker& c, const std::string& path, const MqoExtent& extent) {
    constexpr float kExact = 0.01f;
    const int kind = BlockKind(path);
    if (kind == 0) {
        for (int axis = 0; axis < 2; ++axis) {
            if (std::abs(extent.low[axis] + kCellHalf) > kExact || std::abs(extent.high[axis] - kCellHalf) > kExact) {
                c.Problem(path, std::string("the body does not fill its cell along ") + "xy"[axis]);
                return;
            }
        }
    } else if (kind == 4) {
        const float limit = kCellHalf + kExact;
        if (extent.low[0] < -limit || extent.high[0] > limit || extent.low[1] < -limit)
            c.Problem(path, "the cap reaches past its cell's sides or bottom");
    }
}

void CheckModels(Checker& c) {
    for (const std::string& path : ModelPaths()) {
        std::vector<uint8_t> bytes;
        if (!c.Read(path, &bytes)) continue;
        MqoExtent extent;
        std::string problem = CheckMqo(bytes, &extent);
        if (!problem.empty()) {
            c.Problem(path, problem);
            continue;
        }
        for (int axis = 0; axis < 2; ++axis) {
            if (std::max(-extent.low[axis], extent.high[axis]) > kCellHalf + kCellSlack) {
                c.Problem(path, std::string("reaches out of its cell along ") + "xy"[axis] + ": the origin is not the cell's middle");
                break;
            }
        }
        CheckBlockFit(c, path, extent);
        if (IsStandingCatPose(path) && std::abs(extent.low[1] - kCatFeet) > 1.5f) {
            c.Problem(path, "feet at y " + std::to_string(extent.low[1]) + " do not stand on the block below");
        }
    }
}

void CheckAudio(Checker& c) {
    for (const std::string& path : SoundPaths()) {
        std::vector<uint8_t> bytes;
        if (!c.Read(path, &bytes)) continue;
        double seconds = 0;
        std::string problem = CheckWav(bytes, &seconds);
        if (problem.empty() && seconds > 3.0) problem = "longer than a sound effect should be";
        if (!problem.empty()) c.Problem(path, problem);
    }
    for (const MusicSpec& music : MusicFiles()) {
        std::vector<uint8_t> bytes;
        if (!c.Read(music.path, &bytes)) continue;
        double seconds = 0;
        bool wav = music.path.substr(music.path.size() - 4) == ".wav";
        std::string problem = wav ? CheckWav(bytes, &seconds) : CheckMp3(bytes, &seconds);
        if (problem.empty() && seconds < (music.bgm == 7 ? 2.0 : 10.0)) problem = "too short to loop as music";
        if (!problem.empty()) c.Problem(music.path, problem);
    }
}

// ---------------------------------------------------------------- stages

std::vector<std::string> MapRows(const std::string& map) {
    std::vector<std::string> rows = Lines(map);
    return rows;
}

struct StageFacts {
    int starts = 0, goals = 0, gems = 0, slots = 0;
};

// The stage format: accepted characters and line feeds only (CR dropped),
// rows padded to one width, a closed wall of blocks around the field.
bool CheckStageMap(Checker& c, const std::string& path, const std::string& map, bool versus, StageFacts* facts) {
    static const std::string kAccepted = " 1234BGKabclmnrsuvxz";
    std::vector<std::string> rows;
    std::string row;
    for (char ch : map) {
        if (ch == '\n') {
            rows.push_back(row);
            row.clear();
        } else if (ch == '\r') {
            continue;
        } else if (kAccepted.find(ch) == std::string::npos) {
            c.Problem(path, std::string("character '") + ch + "' is not a tile");
            return false;
        } else {
            row += ch;
        }
    }
    if (!row.empty()) c.Problem(path, "text after the last line feed is not part of the map");
    if (rows.size() < 3) {
        c.Problem(path, "fewer than 3 rows");
        return false;
    }
    size_t width = rows[0].size();
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].size() != width) {
            c.Problem(path, "row " + std::to_string(r) + " is not padded to the stage width");
            return false;
        }
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t x = 0; x < width; ++x) {
            bool edge = r == 0 || r + 1 == rows.size() || x == 0 || x + 1 == width;
            char ch = rows[r][x];
            if (edge && ch != 'B') {
                c.Problem(path, "the field is not closed by blocks at row " + std::to_string(r));
                return false;
            }
            if (ch == 's' || ch == 'G') {
                (ch == 's' ? facts->starts : facts->goals) += 1;
                // the versus goal is inert and may float
                bool mustStand = ch == 's' || !versus;
                if (mustStand && rows[r + 1][x] != 'B') c.Problem(path, std::string(1, ch) + " does not stand on a block");
            }
            if (ch == '1') ++facts->gems;
            if (ch >= '1' && ch <= '4') ++facts->slots;
        }
    }
    return true;
}

void CheckStages(Checker& c) {
    for (int n = 0; n < kNormalStages; ++n) {
        std::string path = "tpa\\stage\\stage_normal" + std::to_string(n) + ".stg", text;
        if (!c.ReadText(path, &text)) continue;
        StageFacts facts;
        if (!CheckStageMap(c, path, text, false, &facts)) continue;
        if (facts.starts != 1) c.Problem(path, "needs exactly one start");
        if (facts.goals != 1) c.Problem(path, "needs exactly one goal");
        if (facts.gems < 4) c.Problem(path, "needs more than 3 gems for the modes that open the goal with them");
        if (facts.slots != facts.gems) c.Problem(path, "versus gem slots in a normal stage");
        std::string why;
        if (!StageIsPlayable(MapRows(text), 4, &why)) c.Problem(path, why);
    }
    for (int n = 0; n < kVsStages; ++n) {
        std::string path = "tpa\\stage\\stage_vs" + std::to_string(n) + ".stg", text;
        if (!c.ReadText(path, &text)) continue;
        size_t end = text.find_first_of("\r\n");
        int limit = 0;
        if (end == std::string::npos || !ParseInt(text.substr(0, end), &limit) || limit <= 0) {
            c.Problem(path, "first line is not a time limit in milliseconds");
            continue;
        }
        // A round ends on its time or on the gems: a limit, every slot of
        // the cycle of gems, all within reach; the goal is inert.
        if (limit < 10000 || limit > 600000) c.Problem(path, "time limit outside 10 s to 10 minutes");
        const std::string map = text.substr(text.find('\n') + 1);
        StageFacts facts;
        if (!CheckStageMap(c, path, map, true, &facts)) continue;
        if (facts.starts != 1) c.Problem(path, "needs exactly one start");
        for (char slot = '1'; slot <= '4'; ++slot) {
            if (map.find(slot) == std::string::npos) c.Problem(path, std::string("has no gem slot ") + slot);
        }
        std::string why;
        if (!StageIsPlayable(MapRows(map), facts.slots, &why, false)) c.Problem(path, why);
        // Cats come back on the start and beaten enemies on free cells that
        // stand on blocks.
        const std::vector<std::string> rows = MapRows(map);
        int free = 0;
        for (size_t r = 0; r + 1 < rows.size(); ++r) {
            for (size_t x = 0; x < rows[r].size(); ++x) free += rows[r][x] == ' ' && rows[r + 1][x] == 'B';
        }
        if (free < 8) c.Problem(path, "fewer than 8 free cells on blocks to come back on");
    }
}

// ---------------------------------------------------------------- sets and lists

struct SetFacts {
    std::vector<int> stages;  // fixed stage numbers, and the ranges of random lines
    int slots = 0;
    std::vector<int> scenes;
};

SetFacts CheckMapSet(Checker& c, const std::string& path, bool versus) {
    SetFacts facts;
    std::string text;
    if (!c.ReadText(path, &text)) return facts;
    bool bonus = false;
    for (const std::string& line : Lines(text)) {
        if (line.empty()) continue;
        int value = 0;
        if (line.rfind("m r", 0) == 0) {
            std::vector<std::string> f = Split(line.substr(3), ',');
            int k = 0, a = 0, b = 0;
            if (f.size() != 3 || !ParseInt(f[0], &k) || !ParseInt(f[1], &a) || !ParseInt(f[2], &b) || k < 1 || a > b ||
                k > b - a + 1) {
                c.Problem(path, "bad random stage line: " + line);
                continue;
            }
            for (int n = a; n <= b; ++n) facts.stages.push_back(n);
            facts.slots += k;
        } else if (line.rfind("m ", 0) == 0) {
            if (!ParseInt(line.substr(2), &value) || value < 0) {
                c.Problem(path, "bad stage line: " + line);
                continue;
            }
            facts.stages.push_back(value);
            facts.slots += 1;
        } else if (line.rfind("BGM ", 0) == 0) {
            std::string v = line.substr(4);
            if (v != "-" && (!ParseInt(v, &value) || value < 0 || value > 13)) c.Problem(path, "bad music line: " + line);
        } else if (line[0] == 'b') {
            if (line.size() < 7 || !ParseInt(line.substr(6), &value) || value < 0) c.Problem(path, "bad bonus line: " + line);
            bonus = true;
        } else if (line.rfind("s ", 0) == 0) {
            if (!ParseInt(line.substr(2), &value) || value < 0) {
                c.Problem(path, "bad scene line: " + line);
                continue;
            }
            facts.scenes.push_back(value);
        } else {
            c.Problem(path, "line of no kind: " + line);
        }
    }
    if (facts.slots == 0) c.Problem(path, "has no stage");
    if (!versus && !bonus) c.Problem(path, "has no clear bonus");
    for (int n : facts.stages) {
        std::string stage = std::string(versus ? "tpa\\stage\\stage_vs" : "tpa\\stage\\stage_normal") + std::to_string(n) + ".stg";
        if (!c.Exists(stage)) c.Problem(path, "names a missing stage " + std::to_string(n));
    }
    return facts;
}

struct ListGroup {
    std::string title;
    int count = 0;
    bool closed = false;
    std::vector<std::string> names;  // code page 932
};

std::vector<ListGroup> ParseStageList(Checker& c, const std::string& path, const std::string& text) {
    std::vector<ListGroup> groups;
    for (const std::string& line : Lines(text)) {
        if (line.empty()) continue;
        char first = line[0];
        if ((first >= '0' && first <= '9') || first == 'a' || first == 'b') {
            groups.push_back({line.size() > 2 ? line.substr(2) : "", 0, false, {}});
        } else if (groups.empty()) {
            c.Problem(path, "stage line before the first group header");
        } else if (line.rfind("end", 0) == 0) {
            groups.back().closed = true;
        } else if (!groups.back().closed) {
            groups.back().count += 1;
            groups.back().names.push_back(line);
        } else {
            c.Problem(path, "stage line after its group's end line");
        }
    }
    return groups;
}

// Each stage's row of the time-attack select, its number and name in the
// select's font (the face every engine font uses), ends short of the best
// time's column.
void CheckStageNameWidths(Checker& c, const std::string& path, const std::vector<ListGroup>& groups) {
    const EngineTextWidths widths(kDefaultFontFile, stagerow::kFontSize);
    if (!widths.ok()) return c.Problem(path, std::string("cannot measure the stage names in ") + kDefaultFontFile);
    int number = 0;
    for (const ListGroup& group : groups)
        for (const std::string& name : group.names) {
            char row[512];
            std::snprintf(row, sizeof row, stagerow::kTextFormat, number, name.c_str());
            std::string utf8;
            if (!ConvertCp932ToUtf8(row, &utf8)) utf8.clear();
            const int right = stagerow::kTextX + 2 * stagerow::kFontEdge + widths.Measure(utf8);
            if (right > stagerow::kNameRight)
                c.Problem(path, "the name of stage " + std::to_string(number) + " runs into its best time (its row ends at x " +
                                    std::to_string(right) + ", past " + std::to_string(stagerow::kNameRight) + ")");
            ++number;
        }
}

void CheckSetsAndLists(Checker& c, std::set<int>* scenes) {
    const std::string listPath = "tpa\\stage\\stage_normal_list.txt";
    std::string text;
    std::vector<ListGroup> groups;
    if (c.ReadText(listPath, &text)) groups = ParseStageList(c, listPath, text);
    CheckStageNameWidths(c, listPath, groups);
    if (groups.size() != 12) c.Problem(listPath, "needs 12 groups, has " + std::to_string(groups.size()));
    int first = 0;
    for (size_t g = 0; g < 12; ++g) {
        std::string setPath = "tpa\\mapset\\normal_set" + std::to_string(g) + ".set";
        SetFacts set = CheckMapSet(c, setPath, false);
        for (int s : set.scenes) scenes->insert(s);
        if (g >= groups.size()) continue;
        if (!groups[g].closed) c.Problem(listPath, "group " + std::to_string(g) + " has no end line");
        if (groups[g].title.empty()) c.Problem(listPath, "group " + std::to_string(g) + " has no title");
        // The title screen's index rule: the stages of group g are the
        // stages first .. first + count - 1, the stages of map set g.
        std::vector<int> expected;
        for (int k = 0; k < groups[g].count; ++k) expected.push_back(first + k);
        std::vector<int> actual = set.stages;
        std::sort(actual.begin(), actual.end());
        if (actual != expected || set.slots != groups[g].count) {
            c.Problem(setPath, "stages do not match stage-list group " + std::to_string(g));
        }
        first += groups[g].count;
    }
    if (first != kNormalStages) c.Problem(listPath, "groups name " + std::to_string(first) + " stages, not 100");

    const std::string vsPath = "tpa\\stage\\stage_vs_list.txt";
    if (c.ReadText(vsPath, &text)) {
        std::vector<std::string> lines = Lines(text);
        if (lines.size() < 2 * kVsSets) c.Problem(vsPath, "needs a name and a note for each of the 5 versus sets");
        for (const std::string& line : lines) {
            if (line.empty()) c.Problem(vsPath, "empty entry line");
        }
    }
    for (int s = 0; s < kVsSets; ++s) CheckMapSet(c, "tpa\\mapset\\vs_set" + std::to_string(s) + ".set", true);
}

// ---------------------------------------------------------------- scripts

bool SlotOk(const std::string& field) {
    int slot = 0;
    return ParseInt(field, &slot) && slot >= 0 && slot < 13 && slot != 6;  // slot 6 has no face
}

// The script's text goes to *textOut when asked for ("" when unreadable).
void CheckScript(Checker& c, const std::string& path, std::string* textOut = nullptr) {
    std::string text;
    if (!c.ReadText(path, &text)) return;
    if (textOut) *textOut = text;
    bool inCondition = false;
    int commands = 0;
    for (const std::string& raw : Lines(text)) {
        std::string line = raw.substr(std::min(raw.size(), raw.find_first_not_of(" \t")));
        if (line.empty()) continue;
        ++commands;
        std::string key = line.substr(0, 5);
        std::string rest = line.size() > 5 ? line.substr(5) : "";
        int value = 0;
        auto bad = [&](const std::string& what) { c.Problem(path, what + ": " + raw); };
        if (key == "mes \"") {
            size_t close = rest.find('"');
            if (close == std::string::npos) {
                bad("message without its closing quote");
                continue;
            }
            std::string body = rest.substr(0, close);
            // A double-byte character whose second byte is '\\' before an 'n'
            // would read as a line break to a byte-wise reader.
            for (size_t i = 0; i + 2 < body.size(); ++i) {
                unsigned char lead = static_cast<unsigned char>(body[i]);
                bool doubleByte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
                if (!doubleByte) continue;
                if (body[i + 1] == '\\' && body[i + 2] == 'n') bad("a character ending in 0x5C reads as a line break");
                ++i;
            }
            int lines = 1;
            size_t start = 0;
            for (size_t at = body.find("\\n"); ; at = body.find("\\n", start)) {
                size_t length = (at == std::string::npos ? body.size() : at) - start;
                if (length > 50) bad("message line longer than 50 bytes");
                if (at == std::string::npos) break;
                start = at + 2;
                ++lines;
            }
            if (lines > 3) bad("message of more than 3 lines");
        } else if (key == "wait ") {
            if (!ParseInt(rest, &value) || value <= 0) bad("bad wait");
        } else if (key == "move ") {
            std::vector<std::string> f = Split(rest, ',');
            int x = 0, y = 0, t = 0;
            if (f.size() != 5 || !SlotOk(f[0]) || !ParseInt(f[1], &x) || !ParseInt(f[2], &y) || !ParseInt(f[3], &t) || t <= 0 ||
                (f[4] != "w" && f[4] != "-")) {
                bad("bad move");
            }
        } else if (key == "pbgm ") {
            if (!ParseInt(rest, &value) || value < 0 || value > 13) bad("bad music number");
        } else if (key == "turn ") {
            std::vector<std::string> f = Split(rest, ',');
            if (f.size() != 2 || !SlotOk(f[0]) || (f[1] != "r" && f[1] != "l")) bad("bad turn");
        } else if (key == "jumps") {
            if (rest.rfind("tart ", 0) == 0) {
                if (!SlotOk(rest.substr(5))) bad("bad jumpstart");
            } else if (rest.rfind("top ", 0) == 0) {
                if (!SlotOk(rest.substr(4))) bad("bad jumpstop");
            } else {
                bad("unknown jump command");
            }
        } else if (key == "catif" || key == "notif") {
            if (inCondition) bad("conditions do not nest: the first endif ends both");
            inCondition = true;
            for (const std::string& f : Split(rest.substr(std::min<size_t>(1, rest.size())), ',')) {
                if (!ParseInt(f, &value) || value < 0 || value > 5) bad("bad player cat in a condition");
            }
        } else if (key == "endif") {
            if (!inCondition) bad("endif without a condition");
            inCondition = false;
        } else if (key == "effec") {
            if (rest.size() < 3 || rest.substr(0, 2) != "t " || !ParseInt(rest.substr(2), &value) || value < 0 || value > 2) {
                bad("bad effect");
            }
        } else {
            bad("unknown command");
        }
    }
    if (inCondition) c.Problem(path, "condition without endif");
    if (commands == 0) c.Problem(path, "empty script");
}

// The ending scene plays no music itself: its script opens with a piece and,
// after its last message, cues the staff roll's piece for the roll that
// follows.
void CheckEndingMusic(Checker& c, const std::string& path, const std::string& text) {
    std::vector<std::string> commands;
    for (const std::string& raw : Lines(text)) {
        size_t start = raw.find_first_not_of(" \t");
        if (start != std::string::npos) commands.push_back(raw.substr(start));
    }
    if (commands.empty()) return;
    if (commands.front().rfind("pbgm ", 0) != 0) c.Problem(path, "the ending does not open with its music");
    bool rollCued = false;
    for (const std::string& command : commands) {
        if (command.rfind("mes ", 0) == 0) rollCued = false;
        if (command == "pbgm 9") rollCued = true;
    }
    if (!rollCued) c.Problem(path, "the staff roll's music (pbgm 9) is not cued after the last message");
}

// The staff roll's credits: "key:text" lines under the three credit
// headings and one closing line, within what the roll shows (at most 8
// entries a heading, 60 bytes a line).
void CheckStaffRoll(Checker& c) {
    const std::string path = "tpa\\scenario\\staffroll.txt";
    std::string text;
    if (!c.ReadText(path, &text)) return;
    std::map<std::string, int> counts;
    for (const std::string& line : Lines(text)) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const size_t colon = line.find(':');
        const std::string key = line.substr(0, colon);
        if (colon == std::string::npos || (key != "graphics" && key != "sound" && key != "thanks" && key != "closing")) {
            c.Problem(path, "line without a known key: " + line);
            continue;
        }
        const std::string value = line.substr(colon + 1);
        if (value.empty()) c.Problem(path, "empty entry: " + line);
        if (value.size() > 60) c.Problem(path, "entry longer than 60 bytes: " + line);
        ++counts[key];
    }
    for (const char* key : {"graphics", "sound", "thanks"}) {
        if (counts[key] < 1 || counts[key] > 8) c.Problem(path, std::string("needs 1 to 8 ") + key + " entries");
    }
    if (counts["closing"] != 1) c.Problem(path, "needs one closing line");
}

// ---------------------------------------------------------------- time table

void CheckTimeTable(Checker& c) {
    const std::string path = "tpa\\limitTimeTable.csv";
    std::string text;
    if (!c.ReadText(path, &text)) return;
    std::vector<std::string> lines = Lines(text);
    if (lines.size() != 2 * kNormalStages) c.Problem(path, "needs a target and an attempts line for each of 100 stages");
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> f = Split(lines[i], ',');
        if (f.size() != 8) {
            c.Problem(path, "line " + std::to_string(i + 1) + " needs a label and 7 values");
            continue;
        }
        for (size_t k = 1; k < f.size(); ++k) {
            int v = 0;
            bool target = i % 2 == 0;
            if (!ParseInt(f[k], &v) || v < 0 || (target && (v == 0 || v > 99999999))) {
                c.Problem(path, "line " + std::to_string(i + 1) + " has a bad value " + f[k]);
            }
        }
    }
}

}  // namespace

CheckReport CheckTree(const std::string& root) {
    Checker c(root);
    CheckPictures(c);
    CheckModels(c);
    CheckAudio(c);
    CheckStages(c);
    std::set<int> scenes;
    CheckSetsAndLists(c, &scenes);
    for (int s : scenes) CheckScript(c, "tpa\\scenario\\scenario" + std::to_string(s) + ".scn");
    for (const char* ending : {"tpa\\scenario\\ending0.scn", "tpa\\scenario\\ending1.scn"}) {
        std::string text;
        CheckScript(c, ending, &text);
        CheckEndingMusic(c, ending, text);
    }
    CheckStaffRoll(c);
    CheckTimeTable(c);
    return c.report;
}
