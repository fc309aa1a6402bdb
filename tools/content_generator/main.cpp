// Writes the game's whole resource tree "tpa/" into a directory, or checks
// one. Everything is made by code here, deterministically.
//
//   content_generator [--font FILE] OUTPUT_DIR   writes OUTPUT_DIR/tpa/... and
//                                                OUTPUT_DIR/contact_sheet.png
//   content_generator --check TREE_ROOT          checks TREE_ROOT/tpa/...
#include "checker.h"
#include "font.h"
#include "generator.h"
#include "image.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kDefaultFont = CONTENT_DEFAULT_FONT;

int Usage() {
    std::fprintf(stderr, "usage: content_generator [--font FILE] OUTPUT_DIR\n       content_generator --check TREE_ROOT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string font = kDefaultFont;
    std::string output;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--font") == 0 && i + 1 < argc) {
            font = argv[++i];
        } else if (std::strcmp(argv[i], "--check") == 0) {
            check = true;
        } else if (argv[i][0] == '-' || !output.empty()) {
            return Usage();
        } else {
            output = argv[i];
        }
    }
    if (output.empty()) return Usage();
    if (check) {
        CheckReport report = CheckTree(output);
        for (const std::string& problem : report.problems) std::fprintf(stderr, "%s\n", problem.c_str());
        std::printf("checked %d files: %zu problems\n", report.filesChecked, report.problems.size());
        return report.problems.empty() ? 0 : 1;
    }
    if (!OpenCaptionFont(font)) return 1;
    OutputTree out(output);
    std::vector<std::pair<std::string, Image>> sheet;
    GeneratePictures(out, &sheet);
    WriteContactSheet(output + "/contact_sheet.png", sheet);
    sheet.clear();
    CloseCaptionFont();
    GenerateModels(out);
    GenerateSounds(out);
    bool musicOk = GenerateMusic(out);
    GenerateStages(out);
    GenerateSetsAndLists(out);
    GenerateScenarios(out);
    GenerateTimeTable(out);
    std::printf("content_generator: %d files written under %s/tpa\n", out.filesWritten(), output.c_str());
    return out.failed() || !musicOk ? 1 : 0;
}
