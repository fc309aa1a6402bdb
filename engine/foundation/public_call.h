// The frame of a public call, and the one way the engine says it refused
// one. engine.h promises that a call refused says why in the log, naming
// the function the program called: every public function that can refuse
// opens a PublicCall as it begins (one on a hot path, only where it
// refuses), and every refusal, wherever in the engine its reason is found,
// is written by Refuse, which names the outermost public function the
// calling thread is in. A public function that another calls (MakeBlankGraph
// making its image with CreateBaseImageXrgb32) refuses in the name of the
// one the program called.
#pragma once

namespace morpotta {

class PublicCall {
public:
    explicit PublicCall(const char* function);
    ~PublicCall();
    PublicCall(const PublicCall&) = delete;
    PublicCall& operator=(const PublicCall&) = delete;

private:
    const char* outer_;
};

// The public call set aside while the user's own code runs from inside
// one (UserCodeScope, engine_thread.h): the calls that code makes are its
// own, and refuse in their own names.
class UserCallScope {
public:
    UserCallScope();
    ~UserCallScope();
    UserCallScope(const UserCallScope&) = delete;
    UserCallScope& operator=(const UserCallScope&) = delete;

private:
    const char* outer_;
};

// The public function the calling thread is in (the one the program
// called), or null on a thread of the engine's own.
const char* CurrentPublicCall();

// Writes "<public function> refused: <why>" and returns -1. With no public
// call, on a thread of the engine's own in an EngineTaskScope, it writes
// "<task>: <why>": no call of the program's was refused there. With neither
// it writes "Refused: <why>", which no call of a program reaches: what a
// program can call (a public function, a table's entry) names itself.
int Refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The refusal of a null pointer, in the words every such refusal uses:
// "no <what> (null)".
int RefuseNull(const char* what);
// The refusal of an index outside 0..count-1: "<what> <index>, not 0 to
// <count - 1>" (or "..., and there is none").
int RefuseIndex(const char* what, int index, int count);
// The same for a function on a hot path, which opens its frame only where
// it refuses (RefuseIn: in the name of function when the thread is in no
// public call and no engine task, as a table entry the program called).
int RefuseNullIn(const char* function, const char* what);
int RefuseIn(const char* function, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The work of a thread of the engine's own (the movie decoder, the sound
// worker), named while one lives: what that thread logs through Refuse is
// said as the task's, never as the refusal of a call the program made.
class EngineTaskScope {
public:
    explicit EngineTaskScope(const char* task);
    ~EngineTaskScope();
    EngineTaskScope(const EngineTaskScope&) = delete;
    EngineTaskScope& operator=(const EngineTaskScope&) = delete;

private:
    const char* outer_;
};

}  // namespace morpotta
