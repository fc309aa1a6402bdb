// The block codec: round trips over many kinds of data, and malformed
// blocks refused without reading or writing outside the buffers.
#include "engine/files.h"
#include "file_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<unsigned char> Compress(const std::string& data) {
    std::vector<unsigned char> block(CompressBlockBound(data.size()));
    int64_t n = CompressBlock(data.data(), data.size(), block.data(), block.size());
    EXPECT_GT(n, 0);
    block.resize(n > 0 ? size_t(n) : 0);
    return block;
}

std::string Expand(const std::vector<unsigned char>& block) {
    int64_t size = DecompressBlock(block.data(), block.size(), nullptr, 0);
    if (size < 0) return "<fail>";
    std::string out(size_t(size), '\0');
    int64_t n = DecompressBlock(block.data(), block.size(), out.data(), out.size());
    if (n != size) return "<fail>";
    return out;
}

void PutU32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = (unsigned char)(v >> (8 * i));
}

// A block built by hand: header fields and packed bytes as given.
std::vector<unsigned char> Block(uint32_t expanded, unsigned char escape, std::vector<unsigned char> packed) {
    std::vector<unsigned char> b(9);
    PutU32(b, 0, expanded);
    PutU32(b, 4, uint32_t(packed.size()));
    b[8] = escape;
    for (unsigned char c : packed) b.push_back(c);
    return b;
}

TEST(BlockCodecTest, RoundTripsManyKindsOfData) {
    std::vector<std::string> samples = {
        "",
        "a",
        std::string(1 << 20, '\0'),  // one long run: lengths with extensions
        PatternBytes(100000, 1),     // incompressible
    };
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "stage" + std::to_string(i % 37) + ",tile,";
    samples.push_back(text);
    std::string allBytes;
    for (int i = 0; i < 70000; ++i) allBytes.push_back(char(i % 256));  // the escape byte occurs too
    samples.push_back(allBytes);
    std::mt19937 rng(5);
    for (int round = 0; round < 30; ++round) {
        // Random mixtures of runs, copies and noise over a small alphabet.
        std::string s;
        size_t size = rng() % 5000;
        while (s.size() < size) {
            int kind = int(rng() % 3);
            if (kind == 0) s.append(rng() % 40, char(rng() % 4));
            if (kind == 1 && !s.empty()) s += s.substr(rng() % s.size(), rng() % 300);
            if (kind == 2) s.push_back(char(rng()));
        }
        samples.push_back(s);
    }
    for (const std::string& data : samples) {
        std::vector<unsigned char> block = Compress(data);
        EXPECT_LE(block.size(), CompressBlockBound(data.size()));
        EXPECT_EQ(Expand(block), data) << "size " << data.size();
    }
    EXPECT_LT(Compress(samples[2]).size(), 100u);
    EXPECT_LT(Compress(text).size(), text.size() / 4);
}

TEST(BlockCodecTest, NullBufferOnlyReportsTheSize) {
    std::vector<unsigned char> block = Compress("hello hello hello hello");
    EXPECT_EQ(DecompressBlock(block.data(), block.size(), nullptr, 0), 23);
    std::string small(10, '\0');
    EXPECT_EQ(DecompressBlock(block.data(), block.size(), small.data(), small.size()), -1);
}

TEST(BlockCodecTest, CompressRefusesTooSmallOutput) {
    std::string data = PatternBytes(1000, 2);
    std::vector<unsigned char> out(100);
    EXPECT_EQ(CompressBlock(data.data(), data.size(), out.data(), out.size()), -1);
    EXPECT_EQ(CompressBlock(nullptr, 5, out.data(), out.size()), -1);
}

TEST(BlockCodecTest, MalformedBlocksAreRefused) {
    unsigned char out[64];
    auto expand = [&](const std::vector<unsigned char>& b) {
        return DecompressBlock(b.data(), b.size(), out, sizeof out);
    };
    const unsigned char E = 0xEE;
    EXPECT_EQ(expand(Block(3, E, {'a', 'b', 'c'})), 3);  // the well-formed base case
    EXPECT_EQ(expand(Block(1, E, {E, 0})), 1);
    EXPECT_EQ(out[0], E);
    EXPECT_EQ(expand(Block(5, E, {'a', E, 1, 1})), 5);  // overlapping copy
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), "aaaaa");

    EXPECT_EQ(DecompressBlock(out, 8, out, sizeof out), -1);  // shorter than a header
    EXPECT_EQ(DecompressBlock(nullptr, 20, out, sizeof out), -1);
    std::vector<unsigned char> b = Block(3, E, {'a', 'b', 'c'});
    PutU32(b, 4, 4);  // packed size past the block
    EXPECT_EQ(expand(b), -1);
    EXPECT_EQ(DecompressBlock(b.data(), b.size(), nullptr, 0), -1);
    EXPECT_EQ(expand(Block(2, E, {'a', 'b', 'c'})), -1);           // more output than declared
    EXPECT_EQ(expand(Block(4, E, {'a', 'b', 'c'})), -1);           // less output than declared
    EXPECT_EQ(expand(Block(1, E, {'a', E})), -1);                  // escape at the end
    EXPECT_EQ(expand(Block(5, E, {'a', E, 1, 0})), -1);            // distance 0
    EXPECT_EQ(expand(Block(6, E, {'a', E, 1, 2})), -1);            // before the start
    EXPECT_EQ(expand(Block(5, E, {'a', E, 1})), -1);               // distance missing
    EXPECT_EQ(expand(Block(9, E, {'a', E, 1, 0x81})), -1);         // varint cut short
    EXPECT_EQ(expand(Block(9, E, {'a', E, 1, 0x81, 0x80, 0x80, 0x80, 0x80, 0x01})), -1);  // over 5 bytes
    EXPECT_EQ(expand(Block(9, E, {'a', E, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 1})), -1);  // huge length
    EXPECT_EQ(expand(Block(100, E, {'a'})), -1);                   // more than the output holds
    // Bytes after the packed data are not part of the block.
    b = Block(3, E, {'a', 'b', 'c'});
    b.push_back('x');
    EXPECT_EQ(expand(b), 3);
}

TEST(BlockCodecTest, DamagedBlocksNeverOverrun) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += char('a' + (i * 7 % 13)), data += (i % 5 ? 'x' : 'y');
    std::vector<unsigned char> good = Compress(data);
    std::mt19937 rng(11);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<unsigned char> b = good;
        int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) b[rng() % b.size()] ^= (unsigned char)(1 + rng() % 255);
        if (rng() % 4 == 0) b.resize(rng() % b.size());
        std::vector<unsigned char> out(data.size());
        int64_t n = DecompressBlock(b.data(), b.size(), out.data(), out.size());
        if (n < 0) ++refused;
        else EXPECT_LE(size_t(n), out.size());
    }
    EXPECT_GT(refused, 1000);
}

}  // namespace
