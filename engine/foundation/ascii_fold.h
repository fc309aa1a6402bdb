// A..Z to a..z, every other byte or unit as it is: names compared ignoring
// case fold ASCII letters alone (callers compare double-byte characters
// whole, since a code page 932 trail byte can be a letter).
#pragma once

namespace morpotta {

template <typename C>
constexpr C FoldAscii(C c) {
    return (c >= C('A') && c <= C('Z')) ? C(c - C('A') + C('a')) : c;
}

}  // namespace morpotta
