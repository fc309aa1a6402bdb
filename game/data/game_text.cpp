#include "game/data/game_text.h"

#include "engine/text.h"

std::string GameText(const char* utf8) {
    std::string cp932;
    if (!ConvertUtf8ToCp932(utf8, &cp932)) return utf8;
    return cp932;
}
