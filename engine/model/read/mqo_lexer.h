// The tokenizer of the MQO text format: quoted strings (double-byte
// aware), one-character brackets, numbers and words, over a bounded buffer.
#pragma once
#include <cstddef>

namespace morpotta {

constexpr size_t kMqoTokenMax = 1024;  // longer tokens are an error

enum MqoTokenResult { MQO_TOKEN_OK = 0, MQO_TOKEN_END = 1, MQO_TOKEN_ERROR = -1 };

struct MqoText {
    const char* data;
    size_t size;
    size_t position;
    char token[kMqoTokenMax];
};

// Skips white space and reads the next token into text->token. On an error
// the position does not move.
MqoTokenResult NextMqoToken(MqoText* text);
// Skips spaces and tabs only: the next character on the line (0 at the end).
char PeekMqoLine(MqoText* text);
// The next characters on the line start with prefix.
bool PeekMqoLineWord(MqoText* text, const char* prefix);

bool IsMqoWordToken(const char* token);
// Reads one token and compares it; false on a mismatch or an error.
bool ExpectMqoToken(MqoText* text, const char* expected);
// The next token as a number; a token that fails gives -1.
float ReadMqoFloat(MqoText* text);
int ReadMqoInt(MqoText* text);
// As a packed 32-bit colour (0 .. 0xFFFFFFFF); false when it is no number.
bool ReadMqoColour(MqoText* text, unsigned int* out);
// A quoted string without its quotes, into out (capacity bytes).
bool ReadMqoQuoted(MqoText* text, char* out, size_t capacity);
// Skips a chunk: tokens up to a '{', then to its matching '}'.
MqoTokenResult SkipMqoChunk(MqoText* text);

}  // namespace morpotta
