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
// ended", its last line) and the program's own status. When another
// thread ends the program, the end waits until the engine's thread has
// returned from the engine call it is in (a call that waits, for the
// window to become active again, a sound or MIDI played to its end, gives
// up its wait), and that thread's next engine call does not return: it
// waits there until the process is gone. The program's other threads get
// what they get while ShutdownEngine runs (a load begun while the end runs
// is refused: "<function> refused: the engine is ending"). The engine's GL
// context stays current on the engine's thread, so the end, on the other
// thread, leaves what the context holds to the driver, which frees it with
// the process; the log says so. A call made after the end (a static's
// destructor) is refused as after ShutdownEngine. The end at exit belongs
// to the process that started the engine: a child of fork that calls exit
// ends as a program of its own and leaves the parent's log, window,
// devices and folders alone (it may not call the engine). An exit from
// the observer of SetEngineStepObserver ends the engine without calling
// the observer again.
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
