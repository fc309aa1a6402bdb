// The state of a module of the engine or of the platform layer: there on
// first use and never destroyed. A program that ends without ending the
// engine has it ended while the process ends, after the destructors of
// whatever was made later than that end was arranged; the engine's threads
// (the audio output's mixer among them) run until it stops them, and a
// module's state made at any time must still be there for both.
//
// A state the compiler can make as the program is loaded (every member
// made by a constant expression) is made so, and reached at a fixed
// address with no check; any other is made on first use behind the
// guard of a local static.
#pragma once

#include <type_traits>

namespace morpotta::platform {

// Holds the state without ever destroying it.
template <class State>
union LastingStorage {
    State state;
    constexpr LastingStorage() : state() {}
    constexpr ~LastingStorage() {}
};

template <class State>
concept MadeAtLoad = requires { typename std::integral_constant<bool, (LastingStorage<State>(), true)>; };

template <class State>
struct LoadedState {
    static constinit inline LastingStorage<State> storage{};
};

template <class State>
State& LastingState() {
    if constexpr (MadeAtLoad<State>) {
        return LoadedState<State>::storage.state;
    } else {
        static State* state = new State();
        return *state;
    }
}

}  // namespace morpotta::platform
