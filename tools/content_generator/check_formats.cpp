#include "check_formats.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// ---------------------------------------------------------------- MQO

struct Token {
    enum Kind { End, Error, String, Open, Close, OpenBrace, CloseBrace, Number, Word } kind;
    std::string text;
};

class MqoLexer {
public:
    MqoLexer(const std::vector<uint8_t>& bytes, size_t start) : b_(bytes), p_(start) {}
    Token Next() {
        while (p_ < b_.size() && (b_[p_] == ' ' || b_[p_] == '\t' || b_[p_] == '\r' || b_[p_] == '\n')) ++p_;
        if (p_ >= b_.size()) return {Token::End, ""};
        uint8_t c = b_[p_];
        if (c == '"') {
            size_t q = p_ + 1;
            while (q < b_.size() && b_[q] != '"') {
                bool lead = (b_[q] >= 0x81 && b_[q] <= 0x9F) || (b_[q] >= 0xE0 && b_[q] <= 0xFC);
                q += lead ? 2 : 1;
            }
            if (q >= b_.size()) return {Token::Error, "unterminated string"};
            Token t{Token::String, std::string(b_.begin() + long(p_) + 1, b_.begin() + long(q))};
            p_ = q + 1;
            return t;
        }
        if (c == '(' || c == ')' || c == '{' || c == '}') {
            ++p_;
            Token::Kind k = c == '(' ? Token::Open : c == ')' ? Token::Close : c == '{' ? Token::OpenBrace : Token::CloseBrace;
            return {k, std::string(1, char(c))};
        }
        if (c == '-' || c == '.' || (c >= '0' && c <= '9')) {
            size_t q = p_;
            while (q < b_.size() && (b_[q] == '-' || b_[q] == '.' || (b_[q] >= '0' && b_[q] <= '9'))) ++q;
            Token t{Token::Number, std::string(b_.begin() + long(p_), b_.begin() + long(q))};
            p_ = q;
            return t;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            size_t q = p_;
            while (q < b_.size() && ((b_[q] >= 'A' && b_[q] <= 'Z') || (b_[q] >= 'a' && b_[q] <= 'z') ||
                                     (b_[q] >= '0' && b_[q] <= '9') || b_[q] == '_')) {
                ++q;
            }
            Token t{Token::Word, std::string(b_.begin() + long(p_), b_.begin() + long(q))};
            p_ = q;
            return t;
        }
        return {Token::Error, "unexpected character"};
    }
    Token Peek() {
        size_t saved = p_;
        Token t = Next();
        p_ = saved;
        return t;
    }

private:
    const std::vector<uint8_t>& b_;
    size_t p_;
};

bool IsInteger(const Token& t) {
    if (t.kind != Token::Number || t.text.empty()) return false;
    for (size_t i = 0; i < t.text.size(); ++i) {
        if (!(t.text[i] >= '0' && t.text[i] <= '9') && !(i == 0 && t.text[i] == '-')) return false;
    }
    return t.text != "-";
}

bool IsNumber(const Token& t) {
    if (t.kind != Token::Number) return false;
    int dots = 0, digits = 0;
    for (size_t i = 0; i < t.text.size(); ++i) {
        char c = t.text[i];
        if (c == '.') ++dots;
        if (c >= '0' && c <= '9') ++digits;
        if (c == '-' && i != 0) return false;
    }
    return dots <= 1 && digits > 0;
}

std::string SkipChunk(MqoLexer& lex) {
    Token t = lex.Next();
    while (t.kind != Token::OpenBrace) {
        if (t.kind == Token::End || t.kind == Token::Error) return "chunk without a body";
        t = lex.Next();
    }
    int depth = 1;
    while (depth > 0) {
        t = lex.Next();
        if (t.kind == Token::End || t.kind == Token::Error) return "chunk without its closing brace";
        if (t.kind == Token::OpenBrace) ++depth;
        if (t.kind == Token::CloseBrace) --depth;
    }
    return "";
}

std::string ReadMaterials(MqoLexer& lex, int* count) {
    Token n = lex.Next();
    if (!IsInteger(n) || std::stoi(n.text) < 0) return "bad material count";
    *count = std::stoi(n.text);
    if (lex.Next().kind != Token::OpenBrace) return "no { after the material count";
    for (int i = 0; i < *count; ++i) {
        if (lex.Next().kind != Token::String) return "material " + std::to_string(i) + " has no name";
        while (lex.Peek().kind == Token::Word) {
            std::string key = lex.Next().text;
            if (lex.Next().kind != Token::Open) return "no ( after " + key;
            int values = 0;
            Token v = lex.Next();
            while (v.kind == Token::Number || v.kind == Token::String) {
                if (v.kind == Token::Number && !IsNumber(v)) return "bad number in " + key;
                ++values;
                v = lex.Next();
            }
            if (v.kind != Token::Close) return "no ) after the values of " + key;
            int expected = key == "col" ? 4 : (key == "dif" || key == "amb" || key == "emi" || key == "spc" || key == "power") ? 1 : -1;
            if (expected >= 0 && values != expected) return key + " needs " + std::to_string(expected) + " values";
        }
    }
    if (lex.Next().kind != Token::CloseBrace) return "material chunk without its closing brace";
    return "";
}

std::string ReadObject(MqoLexer& lex, int materials, int* faceTotal, MqoExtent* extent) {
    if (lex.Next().kind != Token::String) return "object without a name";
    if (lex.Next().kind != Token::OpenBrace) return "no { after the object name";
    int vertices = -1;
    for (;;) {
        Token t = lex.Next();
        if (t.kind == Token::CloseBrace) break;
        if (t.kind == Token::OpenBrace) return "nested chunk inside an object";
        if (t.kind != Token::Word) return "unexpected token in an object";
        if (t.text == "vertex") {
            Token n = lex.Next();
            if (!IsInteger(n)) return "bad vertex count";
            vertices = std::stoi(n.text);
            if (lex.Next().kind != Token::OpenBrace) return "no { after vertex";
            for (int i = 0; i < vertices * 3; ++i) {
                Token c = lex.Next();
                if (!IsNumber(c)) return "bad vertex coordinate";
                const float value = std::strtof(c.text.c_str(), nullptr);
                extent->low[i % 3] = std::min(extent->low[i % 3], value);
                extent->high[i % 3] = std::max(extent->high[i % 3], value);
            }
            if (lex.Next().kind != Token::CloseBrace) return "vertex list longer than its count";
        } else if (t.text == "face") {
            Token n = lex.Next();
            if (!IsInteger(n) || std::stoi(n.text) < 0) return "bad face count";
            int faces = std::stoi(n.text);
            if (lex.Next().kind != Token::OpenBrace) return "no { after face";
            for (int f = 0; f < faces; ++f) {
                Token c = lex.Next();
                if (!IsInteger(c)) return "bad corner count";
                int corners = std::stoi(c.text);
                if (corners != 3 && corners != 4) return "a face of " + c.text + " corners is dropped by the reader";
                Token v = lex.Next();
                if (v.kind != Token::Word || v.text != "V" || lex.Next().kind != Token::Open) return "face without V(";
                for (int k = 0; k < corners; ++k) {
                    Token i = lex.Next();
                    if (!IsInteger(i) || std::stoi(i.text) < 0 || std::stoi(i.text) >= vertices) {
                        return "vertex index out of range";
                    }
                }
                if (lex.Next().kind != Token::Close) return "face V without )";
                while (lex.Peek().kind == Token::Word && lex.Peek().text != "V") {
                    Token key = lex.Peek();
                    if (key.text != "M" && key.text != "UV" && key.text != "COL") break;
                    lex.Next();
                    if (lex.Next().kind != Token::Open) return "face " + key.text + " without (";
                    int values = 0;
                    Token x = lex.Next();
                    while (x.kind == Token::Number) {
                        if (key.text == "M" && (!IsInteger(x) || std::stoi(x.text) < 0 || std::stoi(x.text) >= materials)) {
                            return "material index out of range";
                        }
                        ++values;
                        x = lex.Next();
                    }
                    if (x.kind != Token::Close) return "face " + key.text + " without )";
                    int expected = key.text == "M" ? 1 : key.text == "UV" ? 2 * corners : corners;
                    if (values != expected) return "face " + key.text + " has the wrong number of values";
                }
            }
            if (lex.Next().kind != Token::CloseBrace) return "face list longer than its count";
            *faceTotal += faces;
        } else {
            // Other keywords take plain numbers; one the reader does not know
            // would leave its values to be read as keywords.
            static const char* const kKnown[] = {"depth", "visible", "scale", "rotation", "translation",
                                                 "facet", "mirror", "mirror_axis"};
            bool known = false;
            for (const char* k : kKnown) known = known || t.text == k;
            if (!known && lex.Peek().kind == Token::Number) return "keyword " + t.text + " is unknown to the reader";
            while (lex.Peek().kind == Token::Number) lex.Next();
        }
    }
    if (vertices <= 0) return "object without vertices";
    return "";
}

// ---------------------------------------------------------------- helpers

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

}  // namespace

std::string CheckMqo(const std::vector<uint8_t>& bytes, MqoExtent* extentOut) {
    MqoExtent extent;
    static const char kHeader[] = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n";
    if (bytes.size() < 43 || std::memcmp(bytes.data(), kHeader, 43) != 0) return "header is not the MQO text header";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return "a line ends without CR LF";
    }
    int materials = -1;
    {
        MqoLexer lex(bytes, 43);
        for (Token t = lex.Next(); t.kind != Token::End; t = lex.Next()) {
            if (t.kind == Token::Error) return t.text;
            if (t.kind != Token::Word) return "unexpected token between chunks";
            if (t.text == "Eof") break;
            if (t.text == "Material") {
                std::string problem = ReadMaterials(lex, &materials);
                if (!problem.empty()) return problem;
            } else {
                std::string problem = SkipChunk(lex);
                if (!problem.empty()) return problem;
            }
        }
    }
    int objects = 0, faces = 0;
    MqoLexer lex(bytes, 43);
    bool sawEof = false;
    for (Token t = lex.Next(); t.kind != Token::End; t = lex.Next()) {
        if (t.kind != Token::Word) return "unexpected token between chunks";
        if (t.text == "Eof") {
            sawEof = true;
            break;
        }
        if (t.text == "Object") {
            std::string problem = ReadObject(lex, materials < 0 ? 1 << 30 : materials, &faces, &extent);
            if (!problem.empty()) return "object " + std::to_string(objects) + ": " + problem;
            ++objects;
        } else {
            std::string problem = SkipChunk(lex);
            if (!problem.empty()) return problem;
        }
    }
    if (!sawEof) return "no Eof";
    if (objects == 0 || faces == 0) return "no object with faces";
    if (extentOut) *extentOut = extent;
    return "";
}

std::string CheckWav(const std::vector<uint8_t>& b, double* seconds) {
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        return "not a RIFF WAVE file";
    }
    if (Le32(b, 4) + 8 != b.size()) return "RIFF size does not match the file";
    size_t p = 12;
    int channels = 0, bits = 0, rate = 0;
    bool format = false;
    while (p + 8 <= b.size()) {
        uint32_t size = Le32(b, p + 4);
        if (size > b.size() - p - 8) return "chunk runs past the end of the file";
        if (std::memcmp(b.data() + p, "fmt ", 4) == 0) {
            if (size < 16) return "short fmt chunk";
            if (Le16(b, p + 8) != 1) return "not PCM";
            channels = Le16(b, p + 10);
            rate = int(Le32(b, p + 12));
            bits = Le16(b, p + 22);
            if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 8000 || rate > 48000) {
                return "unsupported PCM layout";
            }
            format = true;
        } else if (std::memcmp(b.data() + p, "data", 4) == 0) {
            if (!format) return "data before fmt";
            if (size == 0) return "no samples";
            *seconds = double(size) / (double(channels) * (bits / 8) * rate);
            return "";
        }
        p += 8 + size + (size & 1);
    }
    return "no data chunk";
}

std::string CheckMp3(const std::vector<uint8_t>& b, double* seconds) {
    size_t p = 0;
    if (b.size() >= 10 && std::memcmp(b.data(), "ID3", 3) == 0) {
        p = 10 + ((size_t(b[6] & 0x7F) << 21) | (size_t(b[7] & 0x7F) << 14) | (size_t(b[8] & 0x7F) << 7) | size_t(b[9] & 0x7F));
    }
    static const int kBitrates[2][16] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}};
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    int frames = 0;
    double total = 0;
    while (p + 4 <= b.size()) {
        if (b[p] != 0xFF || (b[p + 1] & 0xE0) != 0xE0) return "lost frame sync at byte " + std::to_string(p);
        int version = (b[p + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        int layer = (b[p + 1] >> 1) & 3;
        int bitrateIndex = b[p + 2] >> 4, rateIndex = (b[p + 2] >> 2) & 3, padding = (b[p + 2] >> 1) & 1;
        if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
            return "invalid frame header at byte " + std::to_string(p);
        }
        bool mpeg1 = version == 3;
        int rate = kRates[mpeg1 ? 0 : version == 2 ? 1 : 2][rateIndex];
        int bitrate = kBitrates[mpeg1 ? 0 : 1][bitrateIndex] * 1000;
        int samples = mpeg1 ? 1152 : 576;
        size_t length = size_t(samples / 8 * bitrate / rate + padding);
        if (p + length > b.size()) break;  // a last partial frame is tolerated
        p += length;
        total += double(samples) / rate;
        ++frames;
    }
    if (frames < 10) return "fewer than 10 frames";
    *seconds = total;
    return "";
}
