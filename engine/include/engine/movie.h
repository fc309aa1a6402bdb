// Movies: movie files opened as pictures. A movie opens paused on its first
// frame and stays there; a graph opened from a file that is no picture
// (OpenGraphFile) shows it. Ogg Theora files are decoded by the engine
// itself, other files through the media graph, which reads their frame size
// but shows no picture of them. At most 100 movies are open at a time.
#pragma once

// The movie's handle, or -1 (with a log line, except when 100 are open).
// The frame size goes to the outputs that are not null; the last argument
// has no effect.
int OpenMovie(const char* fileName, int* width, int* height, int unused = 0);
int CloseMovie(int movie);                       // 0, or -1 for a bad handle
// Brings the movie's current frame into the picture that shows it; 0, or
// -1 for a bad handle. The last argument has no effect.
int UpdateMovieFrame(int movie, int unused = 0);
