// Everything the engine offers a game: one include for the whole public API,
// grouped by subsystem. Each header can also be included on its own.
//
// Handles. Pictures, sounds, music, fonts, movies, models and model base
// data are named by int handles, each kind with its own range of values, so
// a handle of one kind is refused (-1) by the functions of every other. A
// handle whose resource is gone (deleted, taken by a DeleteAll... call, or
// kept past ShutdownEngine) is refused too, and stays refused until at
// least this many more handles of its kind have been made in the process:
// 4095 pictures, 4095 sounds, 2047 models, 1023 model base data (one per
// model file loaded), 524287 music, 1048575 movies, 2097151 fonts. Only
// then may the value name a new resource again. No handle is 0.
//
// Refusals. A call refused returns -1 (null, 0 or a zero vector where the
// result is no int) and says why in one line of the log, "<function>
// refused: <why>", that names the function the program called and gives
// the reason of the step that decided the refusal, wherever in the engine
// it was found (a picture's reader, the file layer, another public
// function it called on the way): a handle refused is said to be -1, no
// handle at all, another kind's ("the handle of a picture, not of a
// sound") or one whose resource is gone; a file, that it is missing, a
// folder or no regular file (a FIFO, a device); data, that it is none of
// what the call reads (no picture, sound, music, movie or model any reader
// takes), or what a reader that knew it found wrong (cut short, damaged).
// A call that needs the engine, made before InitializeEngine or
// after ShutdownEngine, writes "<function> refused: the engine is not
// running (before start-up or after shut-down)". Only a refused call
// writes such a line, and only one: what fails on the way to a result the
// call still reaches (a reader that does not know the data, a movie
// without a sound track, an archive the plain file stands in for, a
// block-compressed picture read by another road) is said only when the
// call is refused for it. An entry of a file table the program calls itself
// refuses as "FileAccessTable.<entry> refused: <why>" (a stream's, as
// "StreamFunctions.<entry>"), and an empty entry of a table of functions
// the program gives the engine (an archive reader, a stream's functions)
// is refused, never called.
//
// Threads. The thread that calls InitializeEngine is the engine's thread
// until ShutdownEngine; it may call everything. While the engine runs, any
// other thread (a loader) may call:
//   - pictures: OpenGraphFile, OpenGraphFileWithAlpha, OpenDivGraphFile,
//     MakeBlankGraph, MakeGraphFromBaseImage, MakeGraphFromBaseImageKept,
//     MakeGraphFromImageMemory, DeleteGraphHandle, GetGraphDimensions,
//     CountGraphs, ReadImageToBaseImage, and the settings pictures are made
//     with (SetTransColorEnabled, SetTransparentColorRGB, SetGraphMipLevels,
//     SetBmp32AlphaUse, AddImageReader, GetTransColorEnabled,
//     GetTransparentColorRGB);
//   - sounds: AddSoundData, LoadSoundFile, CreateSoundHandleFromFile,
//     CreateSoundHandleFromImage, DeleteSoundHandle, GetSoundTotalTime,
//     GetSoundTotalSamples, IsSoundSystemOpen, LoadWholeFile and the sound
//     settings (SetSoundCreateType, SetSoundReaderMask, their getters);
//   - models: LoadModelFile, DeleteModel;
//   - and, on any thread at any time, what keeps no state of the engine
//     (text.h, numbers.h, vecmath.h, memory.h, archive.h, stream.h, the
//     base-image functions on the caller's own images, MakeScreenColor,
//     MakeFloatColor, the model matrix functions), the log (log.h), the
//     timer (timer.h), reading files (files.h: opening, reading, paths, the
//     block codec, durable writes), IsEngineInitialized,
//     LogicalProcessorCount and HardwareRenderingActive.
// None of them stops the engine's thread from drawing. A picture, sound or
// model is read, decoded and converted on the thread that asks for it,
// beside other threads' loads, and enters the engine's tables whole in a
// moment: no call of the engine's thread (making a picture, playing a
// sound, loading a model, drawing text) waits for another thread's load.
// A setting changed while a load runs is seen by it whole or not at all.
// ShutdownEngine waits for the calls other threads are making; one begun
// once the engine is ending is refused ("<function> refused: the engine is
// ending"). An image reader added with AddImageReader runs on the thread
// that reads the picture, and may make only the calls that thread may
// make; the engine's thread may change the readers in GetImageLoaderTable
// at any time. A picture or model made on a loader reaches the graphics
// device when the engine's thread next draws; one deleted there is refused
// at once and freed by the engine's thread at its next
// ProcessWindowMessages (or ShutdownEngine).
// A file that is no picture opens as a movie on the engine's thread only.
// Every other call made on another thread while the engine runs (drawing,
// fonts, the screen, camera, playing sounds, music, movies, the model API,
// input, the window, random numbers, the archive settings, start-up and
// shut-down) does nothing and returns -1 (null, 0 or a zero vector where
// the result is no int), writing "<function> refused: only the thread that
// started the engine may call it" to the log.
//
// The end of a program. A program that ends without ShutdownEngine
// (returning from main, exit, quick_exit, on any thread) has the engine
// ended as ShutdownEngine ends it, once, with the log finished ("Engine
// ended", its last line) and the program's own status. What it gets at
// each moment:
//   - From another thread while the engine's thread is outside the engine,
//     or inside a call: the end waits until that thread has left the call
//     it is in (a wait gives up: for the window to become active again, a
//     sound, MIDI or music played to its end, a key query's wait), and
//     from then on the engine's thread never returns into the program: its
//     call, or its next one, waits there until the process is gone. So a
//     program whose loop would end as the wait gives up ends with the
//     status exit was given, not with its own.
//   - The engine's thread still inside its call after 5 s, or a load on
//     another thread (AddImageReader's reader, say) not returned by then:
//     the log says which, and ends, and the process ends at once with the
//     status exit was given; exit handlers registered before the engine
//     started do not run then, and only standard output and error are
//     flushed.
//   - During InitializeEngine on another thread: the end does not wait for
//     start-up, which loads the window system's and the GL driver's
//     libraries; a log that start-up began says at which step it was and
//     ends, and the process ends at once with its status, as above. A
//     start-up asked for once the process's end has begun is refused
//     ("InitializeEngine refused: the program is ending") and returns -1.
//   - On the engine's thread from inside an engine call (a signal handler
//     that calls exit, the observer of SetEngineStepObserver, a fatal
//     error): the end enters neither the window system nor the GL driver,
//     whose locks the call may hold; the log says in which call the program
//     ended, and ends, and the process ends at once with its status. The
//     observer is not called again.
//   - After the thread that started the engine has ended (a thread of the
//     program's that was joined): the thread that ends the process takes
//     the engine over and ends it as ShutdownEngine does, refusing nothing.
//   - After the end (a static's destructor): every call is refused as
//     after ShutdownEngine.
// The program's other threads get what they get while ShutdownEngine runs
// (a load begun while the end runs is refused: "<function> refused: the
// engine is ending"). The engine's GL context stays current on the
// engine's thread, so the end, on another thread, leaves what the context
// holds to the driver, which frees it with the process; the log says so.
// The end at exit belongs to the process that started the engine: a child
// of fork that calls exit ends as a program of its own and leaves the
// parent's log, window, devices and folders alone (it may not call the
// engine). The end is arranged with the C library at most four times a
// process, however long it runs: as the first start-up begins and at the
// three stages at which the GL driver registers exit handlers of its own,
// so that the end comes before them.
#pragma once

// Foundation: start-up and shut-down, the window and its message loop,
// input, files and archives, the log, memory, text, numbers, math, time.
#include "engine/archive.h"
#include "engine/files.h"
#include "engine/input.h"
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/numbers.h"
#include "engine/random.h"
#include "engine/shell.h"
#include "engine/stream.h"
#include "engine/text.h"
#include "engine/timer.h"
#include "engine/vecmath.h"
#include "engine/version.h"
#include "engine/window.h"

// Graphics and fonts: pictures in memory and as graph handles, 2-D drawing,
// the draw screen, camera and lights, fonts.
#include "engine/baseimage.h"
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/screen.h"

// 3-D models.
#include "engine/model.h"

// Sound, music and movies.
#include "engine/movie.h"
#include "engine/music.h"
#include "engine/sound.h"
