// The staff roll: its credits, read from a text file of the resource tree,
// and the layout of the whole roll (cast, cat models, credits, closing
// line) as rows at fixed offsets from the roll's start.
//
// Credits file: code page 932 text, one entry a line, each line a key and
// a colon before the text:
//   graphics:<entry>   under the graphics heading
//   sound:<entry>      under the music and sound-effects heading
//   thanks:<entry>     under the thanks heading
//   closing:<text>     the closing line (the last one counts)
// Blank lines are skipped; a line with any other key is skipped with a log
// line. Each group keeps its first kMaxEntries entries, each entry its
// first kMaxEntryBytes bytes (whole characters), so the roll keeps its
// length whatever the file holds.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace staffroll {

constexpr const char* kCreditsFile = "tpa\\scenario\\staffroll.txt";
constexpr int kGroupCount = 3;  // graphics, music and sound effects, thanks
constexpr int kMaxEntries = 8;
constexpr int kMaxEntryBytes = 60;

struct Credits {
    std::vector<std::string> groups[kGroupCount];
    std::string closing;
};

// The credits of a file's text; the count of lines skipped goes to
// *skipped when asked for.
Credits ParseCredits(std::string_view text, int* skipped = nullptr);
// The credits of the file; an unreadable file gives empty groups (and a
// log line): the roll then shows its headings and cast alone.
Credits ReadCredits(const char* path = kCreditsFile);

struct Row {
    enum Kind : uint8_t {
        kHeading,  // text
        kCast,     // catKind's face and text, its name
        kModels,   // the cat models, kModelRows rows of kModelColumns
        kCredit,   // text
        kClosing,  // text; it stops in the middle of the screen
    };
    Kind kind;
    int32_t top;   // pixels from the roll's start
    int32_t height;
    std::string text;
    int32_t catKind = 0;
};

constexpr int kModelRows = 3, kModelColumns = 4;
// Where the closing line's top lands when the roll's rows are shorter; the
// gaps between the roll's sections stretch to bring it there.
constexpr int32_t kClosingTop = 4160;

// Every row of the roll, in order, the closing line last; texts in code
// page 932.
std::vector<Row> Layout(const Credits& credits);

// The cast in the order the roll shows it: cat kind and name.
struct CastMember {
    int32_t catKind;
    const char* name;  // UTF-8
};
constexpr CastMember kFirstCast[] = {{1, "次郎(じろう)"},  {2, "リモコンねこ"}, {3, "均(ひとし)"},
                                     {4, "X (エックス)"}, {5, "忠二郎(ちゅうじろう)"}, {6, "もも"}};
constexpr CastMember kSecondCast[] = {{8, "五郎(ごろう)"},  {9, "牛田(うしだ)"}, {10, "虎二郎(とらじろう)"},
                                      {11, "飛太(とびた)"}, {12, "マリア"},      {13, "？？？"}};
// Cat kinds whose models join the line-up (kind 7 has none).
constexpr int32_t kModelKinds[kModelRows * kModelColumns] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13};

}  // namespace staffroll
