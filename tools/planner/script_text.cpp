#include "script_text.h"

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace planner {

std::string JoinScript(const std::vector<ScriptPiece>& pieces) {
    // The frames each token is held on, in the order tokens first appear.
    std::vector<std::string> order;
    std::map<std::string, std::set<int>> held;
    for (const ScriptPiece& piece : pieces) {
        std::istringstream lines(piece.lines);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string range, token;
            if (!(words >> range)) continue;
            const size_t dash = range.find('-');
            const int first = std::atoi(range.substr(0, dash).c_str());
            const int last = dash == std::string::npos ? first : std::atoi(range.substr(dash + 1).c_str());
            while (words >> token) {
                auto [it, added] = held.try_emplace(token);
                if (added) order.push_back(token);
                for (int f = first; f <= last; ++f) it->second.insert(piece.start + f - 1);
            }
        }
    }
    // One line per run; tokens with the same run share it.
    std::map<std::pair<int, int>, std::string> runs;
    for (const std::string& token : order) {
        const std::set<int>& frames = held[token];
        for (auto it = frames.begin(); it != frames.end();) {
            const int first = *it;
            int last = first;
            for (++it; it != frames.end() && *it == last + 1; ++it) last = *it;
            std::string& tokens = runs[{first, last}];
            if (!tokens.empty()) tokens += ' ';
            tokens += token;
        }
    }
    std::string text;
    for (const auto& [range, tokens] : runs) {
        text += std::to_string(range.first);
        if (range.second != range.first) {
            text += '-';
            text += std::to_string(range.second);
        }
        text += ' ';
        text += tokens;
        text += '\n';
    }
    return text;
}

}  // namespace planner
