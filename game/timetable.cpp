// Time table parsing and recording.
#include "game/timetable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The C library's decimal conversion of a field that is not terminated and
// may be of any length; values beyond 32 bits saturate. False (value
// untouched) unless the field is a whole number 0 or more, spaces and a
// carriage return around it allowed.
bool ConvertField(const char* begin, const char* end, int32_t* value) {
    char buffer[32];
    size_t length = size_t(end - begin);
    if (length >= sizeof buffer) length = sizeof buffer - 1;
    std::memcpy(buffer, begin, length);
    buffer[length] = '\0';
    errno = 0;
    char* stop = nullptr;
    const long long converted = std::strtoll(buffer, &stop, 10);
    if (stop == buffer) return false;
    while (*stop == ' ' || *stop == '\r') ++stop;
    if (*stop != '\0' || converted < 0) return false;
    *value = converted > INT32_MAX ? INT32_MAX : int32_t(converted);
    return true;
}

}  // namespace

void TimeTable::Clear(TimeTable& t) {
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            t.target[r][c] = kNoTime;
            t.attempts[r][c] = 0;
        }
        t.rowBest[r] = kNoTime;
        t.rowBestColumn[r] = 0;
    }
}

TimeTable::Damage TimeTable::Parse(TimeTable& t, const char* text, size_t size) {
    Clear(t);
    Damage damage;
    const char* p = text;
    const char* end = text + size;
    int row = 0, line = 1;
    bool targetLine = true;
    while (p < end && row < kRows) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) lineEnd = end;
        // The first field is a label; values follow the first comma.
        const char* field = static_cast<const char*>(std::memchr(p, ',', size_t(lineEnd - p)));
        int column = 0;
        bool whole = true;
        while (field && field < lineEnd) {
            const char* start = field + 1;
            const char* next = static_cast<const char*>(std::memchr(start, ',', size_t(lineEnd - start)));
            const char* stop = next ? next : lineEnd;
            if (column < kColumns) {
                int32_t* cell = targetLine ? &t.target[row][column] : &t.attempts[row][column];
                whole = ConvertField(start, stop, cell) && whole;
            }
            ++column;
            field = next;
        }
        if ((!whole || column < kColumns) && damage.firstBadLine == 0) damage.firstBadLine = line;
        if (targetLine) {
            targetLine = false;
        } else {
            targetLine = true;
            ++row;
        }
        if (lineEnd == end) break;
        p = lineEnd + 1;
        ++line;
    }
    damage.rows = row;
    ComputeRowBest(t);
    return damage;
}

void TimeTable::ComputeRowBest(TimeTable& t) {
    for (int r = 0; r < kRows; ++r) {
        t.rowBest[r] = kNoTime;
        for (int c = 0; c < kColumns; ++c) {
            if (t.target[r][c] < t.rowBest[r]) {
                t.rowBest[r] = t.target[r][c];
                t.rowBestColumn[r] = c;
            }
        }
    }
}

bool TimeTable::RecordTime(TimeTable& t, int row, int column, int32_t time) {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return false;
    bool improved = time < t.target[row][column];
    if (improved) t.target[row][column] = time;
    if (t.attempts[row][column] < INT32_MAX) t.attempts[row][column] += 1;
    return improved;
}
