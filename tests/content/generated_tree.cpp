#include "generated_tree.h"

#include "font.h"
#include "generator.h"
#include "image.h"
#include "proofs.h"

#include <cstdlib>
#include <vector>

namespace {

struct TemporaryTree {
    std::filesystem::path root;
    TemporaryTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "morpotta-content-XXXXXX").string();
        root = mkdtemp(pattern.data());
        GenerateTreeInto(root);
    }
    ~TemporaryTree() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

}  // namespace

void GenerateTreePartInto(const std::filesystem::path& root, TreePart part) {
    OutputTree out(root.string());
    switch (part) {
    case TreePart::kPictures: {
        OpenCaptionFont(CONTENT_DEFAULT_FONT);
        std::vector<std::pair<std::string, Image>> sheet;
        GeneratePictures(out, &sheet);
        WriteContactSheet((root / "contact_sheet.png").string(), sheet);
        CloseCaptionFont();
        break;
    }
    case TreePart::kModelsAndSounds:
        GenerateModels(out);
        GenerateSounds(out);
        break;
    case TreePart::kMusic:
        GenerateMusic(out);
        break;
    case TreePart::kStagesAndReplays: {
        GenerateStages(out);
        GenerateSetsAndLists(out);
        GenerateScenarios(out);
        GenerateTimeTable(out);
        std::vector<std::string> problems;
        planner::RecordDemoReplays(root.string(), planner::StoredProofs(), &problems);
        break;
    }
    }
}

void GenerateTreeInto(const std::filesystem::path& root) {
    for (TreePart part : kTreeParts) GenerateTreePartInto(root, part);
}

const std::filesystem::path& ContentTreeRoot() {
    static const std::filesystem::path built = MORPOTTA_BUILD_DIR;
    if (std::filesystem::exists(built / "tpa" / ".generated")) return built;
    static TemporaryTree generated;
    return generated.root;
}

void LinkContentTreeInto(const std::filesystem::path& dir, const std::set<std::string>& own) {
    namespace fs = std::filesystem;
    fs::create_directory(dir / "tpa");
    for (const fs::directory_entry& e : fs::directory_iterator(ContentTreeRoot() / "tpa")) {
        const std::string name = e.path().filename().string();
        if (!own.count(name)) fs::create_symlink(e.path(), dir / "tpa" / name);
    }
}
