// The MQO tokenizer on its own: token kinds, double-byte strings, errors
// that never move the position, chunk skipping and number reading.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/numbers.h"
#include "model/read/mqo_lexer.h"

using namespace morpotta;

namespace {

MqoText TextOf(const std::string& s) {
    MqoText t{};
    t.data = s.data();
    t.size = s.size();
    return t;
}

TEST(MqoLexerTest, SplitsTheTokenKinds) {
    std::string s = " \tObject \"a \x95\x5C b\" {\r\n-1.5 V(3)face_2 }";
    MqoText t = TextOf(s);
    const char* want[] = {"Object", "\"a \x95\x5C b\"", "{", "-1.5", "V", "(", "3", ")", "face_2", "}"};
    for (const char* w : want) {
        ASSERT_EQ(NextMqoToken(&t), MQO_TOKEN_OK);
        EXPECT_STREQ(t.token, w);
    }
    EXPECT_EQ(NextMqoToken(&t), MQO_TOKEN_END);
    EXPECT_EQ(NextMqoToken(&t), MQO_TOKEN_END);
}

TEST(MqoLexerTest, ALeadByteTakesTheByteAfterItEvenAQuote) {
    // A lead byte is copied with the byte after it, whatever that is: the
    // string runs to the next quote.
    std::string s = "\"x\x95\" y\" z";
    MqoText t = TextOf(s);
    ASSERT_EQ(NextMqoToken(&t), MQO_TOKEN_OK);
    EXPECT_EQ(std::string(t.token), "\"x\x95\" y\"");
}

TEST(MqoLexerTest, ErrorsLeaveThePositionAndNeverOverrun) {
    for (std::string s : {std::string("@abc"), std::string("\"open"), std::string("\"\x95"), std::string(2000, 'a')}) {
        MqoText t = TextOf(s);
        EXPECT_EQ(NextMqoToken(&t), MQO_TOKEN_ERROR) << s.substr(0, 10);
        EXPECT_EQ(t.position, 0u);
    }
}

TEST(MqoLexerTest, SkippingAChunkStopsAtItsMatchingBraceOrFails) {
    std::string s = "Scene { a { b } \"}\" c } next";
    MqoText t = TextOf(s);
    ASSERT_EQ(SkipMqoChunk(&t), MQO_TOKEN_OK);
    ASSERT_EQ(NextMqoToken(&t), MQO_TOKEN_OK);
    EXPECT_STREQ(t.token, "next");
    std::string open = "Scene { a { b }";
    t = TextOf(open);
    EXPECT_EQ(SkipMqoChunk(&t), MQO_TOKEN_END);
    std::string bad = "Scene { a ; }";
    t = TextOf(bad);
    EXPECT_EQ(SkipMqoChunk(&t), MQO_TOKEN_ERROR);  // the caller must stop
}

TEST(MqoLexerTest, LinePeeksSeeOnlyTheCurrentLine) {
    std::string s = "  \t M(0)\r\nUV";
    MqoText t = TextOf(s);
    EXPECT_EQ(PeekMqoLine(&t), 'M');
    EXPECT_FALSE(PeekMqoLineWord(&t, "UV"));
    std::string end = "  ";
    t = TextOf(end);
    EXPECT_EQ(PeekMqoLine(&t), 0);
    EXPECT_FALSE(PeekMqoLineWord(&t, "COL"));
}

TEST(MqoLexerTest, NumbersReadAsTheGeneralParserReadsThem) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> digit(0, 9), length(1, 19), sign(0, 1);
    for (int i = 0; i < 20000; ++i) {
        std::string token = sign(random) ? "-" : "";
        int whole = length(random), fraction = length(random) - 1;
        for (int d = 0; d < whole; ++d) token += char('0' + digit(random));
        if (fraction > 0) {
            token += '.';
            for (int d = 0; d < fraction; ++d) token += char('0' + digit(random));
        }
        MqoText t = TextOf(token);
        float got = ReadMqoFloat(&t);
        float want = float(ParseDecimalDouble(token.c_str()));
        EXPECT_EQ(std::memcmp(&got, &want, sizeof(float)), 0) << token;
    }
    for (std::string odd : {"1.2.3", "1-2", "--1", "-0", ".5", "5.", "0.000000000000000000000001"}) {
        MqoText t = TextOf(odd);
        float got = ReadMqoFloat(&t);
        float want = float(ParseDecimalDouble(odd.c_str()));
        EXPECT_EQ(std::memcmp(&got, &want, sizeof(float)), 0) << odd;
    }
    std::string words = "x - 4294967295 99999999999";
    MqoText t = TextOf(words);
    EXPECT_EQ(ReadMqoFloat(&t), -1.0f);  // not a number
    EXPECT_EQ(ReadMqoInt(&t), -1);       // a lone '-'
    unsigned int colour = 0;
    EXPECT_TRUE(ReadMqoColour(&t, &colour));
    EXPECT_EQ(colour, 0xFFFFFFFFu);
    EXPECT_EQ(ReadMqoInt(&t), -1);  // out of range
}

}  // namespace
