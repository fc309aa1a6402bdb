// Fonts on the GL device: widths of ASCII and kanji strings, glyphs and
// their edges read back, the glyph cache, handles and the bad-handle message,
// faces named by their installed family.
#include "draw_test_util.h"

#include "engine/font.h"
#include "foundation/log_internal.h"
#include "graphics/font/font_internal.h"
#include "scoped_temp_dir.h"

#include <string>
#include <vector>

using namespace morpotta;

namespace {

// "日本語" and "あいう" in code page 932.
const char kKanji[] = "\x93\xfa\x96\x7b\x8c\xea";
const char kKana[] = "\x82\xa0\x82\xa2\x82\xa4";

class FontTest : public Draw2DTest {
protected:
    void TearDown() override {
        DeleteAllFonts();
        SetDefaultFontSize(kDefaultFontSize);
        SetDefaultFontType(0);
        Draw2DTest::TearDown();
    }
    // Pixels of the rectangle that differ from black.
    static int Lit(int x0, int y0, int x1, int y1, uint32_t* last = nullptr) {
        FlushPendingDraws();
        std::vector<uint32_t> p(size_t(x1 - x0) * size_t(y1 - y0));
        ReadDevicePixels(x0, y0, x1 - x0, y1 - y0, p.data());
        int n = 0;
        for (uint32_t c : p)
            if ((c & 0xFFFFFF) != 0) {
                ++n;
                if (last) *last = c;
            }
        return n;
    }
    // The log's text after fn ran with the log on, in a folder of its own.
    template <class Fn>
    static std::string LogOf(Fn fn) {
        ScopedTempDir dir;
        SetLogOutput(1);
        StartLog();
        fn();
        EndLog();
        SetLogOutput(0);
        return ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    }
    // The pixels of text drawn alone, white on black, at the top left.
    static std::vector<uint32_t> Drawn(const char* text, int font) {
        ClearDrawScreenToBackColor(nullptr);
        EXPECT_EQ(DrawTextWithFont(0, 0, text, 0xFFFFFFFFu, font, 0, 0), 0);
        FlushPendingDraws();
        std::vector<uint32_t> p(size_t(256) * size_t(64));
        ReadDevicePixels(0, 0, 256, 64, p.data());
        return p;
    }
    static int CountColor(int x0, int y0, int x1, int y1, uint32_t color) {
        FlushPendingDraws();
        std::vector<uint32_t> p(size_t(x1 - x0) * size_t(y1 - y0));
        ReadDevicePixels(x0, y0, x1 - x0, y1 - y0, p.data());
        int n = 0;
        for (uint32_t c : p) n += ColorNear(c, color, 8) ? 1 : 0;
        return n;
    }
};

TEST_F(FontTest, WidthsOfAsciiAndKanjiStrings) {
    SetDefaultFontSize(16);
    // The face is monospaced for ASCII at half the size and full width for kanji and kana.
    EXPECT_EQ(GetStringWidth("ABCD", -1, 0), 32);
    EXPECT_EQ(GetStringWidth("ABCD", 2, 0), 16);
    EXPECT_EQ(GetStringWidth(kKanji, -1, 0), 48);
    EXPECT_EQ(GetStringWidth(kKana, 4, 0), 32);  // two double-byte characters
    SetDefaultFontSize(24);
    EXPECT_EQ(GetStringWidth(kKanji, -1, 0), 72);
    EXPECT_EQ(GetStringWidth("", -1, 0), 0);
    EXPECT_EQ(GetStringWidth(nullptr, -1, 0), -1);
}

TEST_F(FontTest, TextIsDrawnInItsColourInsideItsBox) {
    const int font = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    ASSERT_EQ(DrawTextWithFont(100, 100, kKanji, 0xFFFFFF00u, font, 0, 0), 0);
    const int width = GetStringWidthWithFont(kKanji, -1, font);
    EXPECT_EQ(width, 96);
    EXPECT_GT(CountColor(100, 100, 100 + width, 140, 0xFFFFFF00u), 300);  // strokes of three kanji
    EXPECT_EQ(Lit(0, 0, 640, 98), 0);                                  // nothing above
    EXPECT_EQ(Lit(100 + width + 2, 0, 640, 480), 0);                   // nothing right of it
    // Each of the three characters has ink of its own.
    for (int i = 0; i < 3; ++i) EXPECT_GT(Lit(100 + 32 * i, 100, 100 + 32 * i + 32, 140), 40) << i;
}

TEST_F(FontTest, EdgesSurroundTheGlyphsInTheEdgeColour) {
    const int plain = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    const int edged = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias | kFontTypeEdge, -1, 2, 0, -1, -1);
    ASSERT_NE(plain, -1);
    ASSERT_NE(edged, -1);
    DrawTextWithFont(10, 10, "A", 0xFFFFFFFFu, plain, 0xFFFF0000u, 0);
    DrawTextWithFont(10, 110, "A", 0xFFFFFFFFu, edged, 0xFFFF0000u, 0);
    EXPECT_EQ(CountColor(0, 0, 64, 64, 0xFFFF0000u), 0);  // no edge without the edge bit
    const int red = CountColor(0, 100, 64, 164, 0xFFFF0000u);
    const int white = CountColor(0, 100, 64, 164, 0xFFFFFFFFu);
    EXPECT_GT(red, 60);
    EXPECT_GT(white, 60);
    // The white strokes are as many as without the edge: the edge goes round, not over.
    EXPECT_NEAR(white, CountColor(0, 0, 64, 64, 0xFFFFFFFFu), 6);
}

TEST_F(FontTest, BadHandlesLogTheMessageAndFail) {
    const std::string log = LogOf([] { EXPECT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFFFFFFu, 0x12345, 0, 0), -1); });
    EXPECT_NE(log.find("DrawTextWithFont refused: 74565 is no handle the engine gave"), std::string::npos) << log;
    const int font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
    ASSERT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFFFFFFu, font, 0, 0), -1);  // stale
    EXPECT_EQ(DeleteFontHandle(font), -1);
    EXPECT_EQ(DrawFormattedTextWithFont(0, 0, 0xFFFFFFFFu, font, "%d", 5), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 100000, -1, 0, -1, -1, 0, -1, -1), -1);
    EXPECT_EQ(DrawTextAt(0, 0, "\x82", 0xFFFFFFFFu, 0), -1);  // a lead byte with no trail
}

// Text that is not code page 932, drawn and measured every frame, is said
// once for each function and text, in a line naming the function.
TEST_F(FontTest, TextNotInCodePage932IsSaidOnceForEachFunctionAndText) {
    const std::string log = LogOf([] {
        for (int frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(DrawTextAt(0, 0, "title \x82", 0xFFFFFFFFu, 0), -1);
            EXPECT_EQ(DrawTextAt(0, 20, "menu \x81", 0xFFFFFFFFu, 0), -1);
            EXPECT_EQ(GetStringWidth("title \x82", -1, 0), -1);
        }
    });
    const auto count = [&](const std::string& line) {
        int n = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
        return n;
    };
    const std::string notCp932 = " refused: the text is not in code page 932 (bytes ";
    EXPECT_EQ(count("DrawTextAt" + notCp932 + "74 69 74 6C 65 20 82)"), 1) << log;
    EXPECT_EQ(count("DrawTextAt" + notCp932 + "6D 65 6E 75 20 81)"), 1) << log;
    EXPECT_EQ(count("GetStringWidth" + notCp932 + "74 69 74 6C 65 20 82)"), 1) << log;
    EXPECT_EQ(count("code page 932"), 3) << log;
}

// The default face's file missing: the face is found by its family through
// fontconfig and text draws as before; with no face of that family either,
// the first text says so once and no text of the default face draws.
TEST_F(FontTest, AMissingDefaultFaceIsFoundByItsFamilyOrSaidOnce) {
    const std::vector<uint32_t> fromItsFile = Drawn(kKanji, GetDefaultFontHandle());
    ASSERT_EQ(DeleteAllFonts(), 0);
    SetDefaultFaceForTesting("/no/such/folder/ipag.ttf", nullptr);
    std::string log = LogOf([&] { EXPECT_TRUE(Drawn(kKanji, GetDefaultFontHandle()) == fromItsFile); });
    EXPECT_EQ(log.find("cannot be read"), std::string::npos) << log;

    ASSERT_EQ(DeleteAllFonts(), 0);
    SetDefaultFaceForTesting("/no/such/folder/ipag.ttf", "No Such Family 7");
    log = LogOf([] {
        for (int frame = 0; frame < 20; ++frame) {
            EXPECT_EQ(DrawTextAt(0, 0, kKanji, 0xFFFFFFFFu, 0), -1);
            EXPECT_EQ(DrawTextAt(0, 20, "text", 0xFFFFFFFFu, 0), -1);
        }
    });
    const size_t said = log.find("No default face can be had: /no/such/folder/ipag.ttf");
    EXPECT_NE(said, std::string::npos) << log;
    EXPECT_EQ(log.find("No default face", said + 1), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot be read\r"), std::string::npos) << log;
    ASSERT_EQ(DeleteAllFonts(), 0);
    SetDefaultFaceForTesting(nullptr, nullptr);
}

TEST_F(FontTest, ANamedInstalledFaceIsTheFaceDrawnAndAnUnknownOneIsLogged) {
    const int standard = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    int named = -1, unknown = -1, japaneseName = -1;
    const std::string log = LogOf([&] {
        named = CreateFontToHandle("DejaVu Sans", 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
        unknown = CreateFontToHandle("No Such Face 7", 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
        // "IPAゴシック" in code page 932: the default face's own family under its Japanese name.
        japaneseName = CreateFontToHandle("IPA\x83\x53\x83\x56\x83\x62\x83\x4e", 32, -1, kFontTypeAntialias, -1, -1, 0,
                                          -1, -1);
    });
    ASSERT_NE(standard, -1);
    ASSERT_NE(named, -1);
    ASSERT_NE(unknown, -1);
    ASSERT_NE(japaneseName, -1);
    // The default face gives every ASCII character half the size; the named
    // face is proportional, and its letters are its own.
    EXPECT_EQ(GetStringWidthWithFont("iiii", -1, standard), GetStringWidthWithFont("WWWW", -1, standard));
    EXPECT_LT(GetStringWidthWithFont("iiii", -1, named), GetStringWidthWithFont("WWWW", -1, named) / 2);
    EXPECT_TRUE(Drawn("Hamburg", named) != Drawn("Hamburg", standard));
    // The unknown face and the Japanese name both draw the default face.
    EXPECT_TRUE(Drawn("Hamburg", unknown) == Drawn("Hamburg", standard));
    EXPECT_TRUE(Drawn(kKanji, japaneseName) == Drawn(kKanji, standard));
    // The log names the face that is not installed, and that one alone.
    EXPECT_NE(log.find("\"No Such Face 7\""), std::string::npos) << log;
    EXPECT_EQ(log.find("DejaVu"), std::string::npos) << log;
    EXPECT_EQ(log.find("IPA"), std::string::npos) << log;
}

TEST_F(FontTest, TheTableHoldsFortyFonts) {
    std::vector<int> fonts;
    for (int i = 0; i < kFontTableSize; ++i) {
        fonts.push_back(CreateFontToHandle(nullptr, 12, -1, 0, -1, -1, 0, -1, -1));
        ASSERT_NE(fonts.back(), -1) << i;
    }
    EXPECT_EQ(CreateFontToHandle(nullptr, 12, -1, 0, -1, -1, 0, -1, -1), -1);
    DeleteFontHandle(fonts[7]);
    EXPECT_NE(CreateFontToHandle(nullptr, 12, -1, 0, -1, -1, 0, -1, -1), -1);
}

TEST_F(FontTest, AFullGlyphCacheStartsOverAndStillDraws) {
    const int font = CreateFontToHandle(nullptr, 64, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    // Far more kanji than a 512 x 512 atlas holds at 64 pixels.
    std::string text;
    for (int i = 0; i < 120; ++i) {
        text += char(0x88 + i / 60);
        text += char(0x9F + i % 60);
    }
    for (int round = 0; round < 2; ++round) EXPECT_EQ(GetStringWidthWithFont(text.c_str(), -1, font), 120 * 64);
    ClearDrawScreenToBackColor(nullptr);
    EXPECT_EQ(DrawTextWithFont(0, 0, text.substr(0, 16).c_str(), 0xFFFFFFFFu, font, 0, 0), 0);
    EXPECT_GT(Lit(0, 0, 512, 80), 500);
    DrawFormattedText(0, 100, 0xFFFFFFFFu, "%d %s", 42, "x");
    EXPECT_GT(Lit(0, 100, 64, 120), 10);
}

TEST_F(FontTest, InverseAndMultiplyModesFollowTheCoverage) {
    const int font = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    const int width = GetStringWidthWithFont(kKana, -1, font);
    // Multiply: only the strokes darken, not each glyph's whole box.
    ASSERT_EQ(DrawTextWithFont(100, 100, kKana, 0xFFFFFFFFu, font, 0, 0), 0);
    const int ink = Lit(100, 100, 100 + width, 136);
    DrawRectangle(0, 0, 640, 480, MakeScreenColor(200, 200, 200), 1);
    SetBlendModeParam(BlendMul, 255);
    ASSERT_EQ(DrawTextWithFont(100, 100, kKana, MakeScreenColor(0, 0, 255), font, 0, 0), 0);
    SetBlendModeParam(BlendCopy, 255);
    const int grey = CountColor(100, 100, 100 + width, 136, 0xFFC8C8C8u);
    EXPECT_GE(grey, width * 36 - ink - 16);  // the faintest coverage draws nothing on black
    EXPECT_GT(CountColor(100, 100, 100 + width, 136, 0xFF0000C8u), 100);
    // Inverse: the text's colour inverted.
    ClearDrawScreenToBackColor(nullptr);
    SetBlendModeParam(BlendInvert, 255);
    ASSERT_EQ(DrawTextWithFont(100, 100, kKana, MakeScreenColor(255, 255, 0), font, 0, 0), 0);
    SetBlendModeParam(BlendCopy, 255);
    EXPECT_GT(CountColor(100, 100, 100 + width, 136, 0xFF0000FFu), 100);
    EXPECT_EQ(CountColor(100, 100, 100 + width, 136, 0xFFFFFF00u), 0);
}

}  // namespace
