// The state of a module of the engine or of the platform layer: made on
// first use and never destroyed. A program that ends without ending the
// engine has it ended while the process ends, after the destructors of
// whatever was made later than that end was arranged; the engine's threads
// (the audio output's mixer among them) run until it stops them, and a
// module's state made at any time must still be there for both.
#pragma once

namespace morpotta::platform {

template <class State>
State& LastingState() {
    static State* state = new State();
    return *state;
}

}  // namespace morpotta::platform
