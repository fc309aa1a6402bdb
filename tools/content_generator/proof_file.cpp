#include "proof_file.h"


#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

const ProvenRun* Find(const std::vector<ProvenRun>& list, int kind) {
    for (const ProvenRun& r : list) {
        if (r.kind == kind) return &r;
    }
    return nullptr;
}

std::string Header(const char* word, const ProvenRun& r) {
    char line[128];
    std::snprintf(line, sizeof line, "%s %d frames %d elapsed %d gems %d\n", word, r.kind, r.frames, r.elapsed, r.gems);
    return line;
}

}  // namespace

const ProvenRun* StageProof::Run(int kind) const { return Find(runs, kind); }
const ProvenRun* StageProof::Demo(int kind) const { return Find(demos, kind); }

std::string ProofFolder() { return CONTENT_PROOF_DIR; }

std::string ProofPath(const std::string& folder, int stage) {
    return folder + "/stage_normal" + std::to_string(stage) + ".txt";
}

std::string FormatStageProof(const StageProof& proof) {
    std::string text = "# Stage " + std::to_string(proof.stage) +
                       ": the design shipped and the planner's runs through it (tools/planner).\n"
                       "# Script frames count from the stage's first; the goal needs four gems.\n";
    text += "design " + std::to_string(proof.design) + "\n";
    for (const ProvenRun& r : proof.runs) text += Header("run", r) + r.script + "end\n";
    for (const ProvenRun& r : proof.demos) text += Header("demo", r) + r.script + "end\n";
    return text;
}

bool ParseStageProof(const std::string& text, StageProof* proof, std::string* error) {
    *proof = StageProof{};
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    ProvenRun* open = nullptr;
    auto fail = [&](const std::string& why) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (open) {
            if (line == "end")
                open = nullptr;
            else
                open->script += line + "\n";
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "design") {
            if (!(words >> proof->design) || proof->design < 0) return fail("bad design number");
        } else if (word == "run" || word == "demo") {
            ProvenRun r;
            std::string f, e, g;
            if (!(words >> r.kind >> f >> r.frames >> e >> r.elapsed >> g >> r.gems) || f != "frames" ||
                e != "elapsed" || g != "gems" || r.kind < 1 || r.kind > 6)
                return fail("bad run header");
            auto& list = word == "run" ? proof->runs : proof->demos;
            if (Find(list, r.kind)) return fail("a second " + word + " of kind " + std::to_string(r.kind));
            list.push_back(r);
            open = &list.back();
        } else {
            return fail("unknown line '" + line + "'");
        }
    }
    if (open) return fail("a run without its end line");
    return true;
}

bool ReadStageProof(const std::string& path, StageProof* proof, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!ParseStageProof(text.str(), proof, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

const StageProof& StoredProof(int stage) {
    static std::mutex lock;
    static std::map<int, StageProof> read;
    std::lock_guard<std::mutex> hold(lock);
    auto it = read.find(stage);
    if (it == read.end()) {
        StageProof proof;
        std::string error;
        if (!ReadStageProof(ProofPath(ProofFolder(), stage), &proof, &error)) proof = StageProof{};
        proof.stage = stage;
        it = read.emplace(stage, std::move(proof)).first;
    }
    return it->second;
}
