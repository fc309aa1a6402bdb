// Target times of the time attack per stage row and input device type,
// read once at start-up from "tpa\limitTimeTable.csv" and updated in memory.
#pragma once
#include <cstddef>
#include <cstdint>

struct TimeTable {
    static constexpr int kRows = 100;
    static constexpr int kColumns = 7;  // input device type 0..6
    static constexpr int32_t kNoTime = 99999999;
    static constexpr const char* kFileName = "tpa\\limitTimeTable.csv";

    int32_t target[kRows][kColumns];    // milliseconds
    int32_t attempts[kRows][kColumns];  // recorded times per cell
    int32_t rowBest[kRows];             // smallest target of the row, kNoTime when none is smaller
    int32_t rowBestColumn[kRows];

    // What a parse found wrong with the text.
    struct Damage {
        int firstBadLine = 0;  // the first line whose seven values are not all whole numbers 0 or more; 0 none
        int rows = 0;          // stage rows whose two lines the text holds (kRows when whole)
        bool Any() const { return firstBadLine != 0 || rows < kRows; }
    };

    // Every target kNoTime, every count and best column 0.
    static void Clear(TimeTable& table);
    // Parses the file text over the cleared table: per stage row a target
    // line then an attempts line, each "label,v0,...,v6". Rows past 100 and
    // fields past 7 are ignored; a value that is not a whole number 0 or
    // more leaves its cell cleared (no target, no attempts). Then computes
    // the row bests.
    static Damage Parse(TimeTable& table, const char* text, size_t size);
    static void ComputeRowBest(TimeTable& table);
    // Reads the file through the engine's file functions (so it may come
    // from a resource archive). False when it cannot be read; the table is
    // then cleared. A file missing or damaged is said to the player.
    static bool Load(TimeTable& table, const char* path = kFileName);
    // target = min(target, time); one more attempt in any case. True when
    // the time beat the old target. False for a cell outside the table.
    static bool RecordTime(TimeTable& table, int row, int column, int32_t time);
};

static_assert(sizeof(TimeTable) == 1600 * 4);
