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
