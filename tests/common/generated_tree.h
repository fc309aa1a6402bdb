// The resource tree the content tests look at: the one the build generated
// (build dir/tpa), or, when the build has not made it, one generated here
// into a temporary directory removed at exit.
#pragma once
#include <filesystem>
#include <set>
#include <string>

const std::filesystem::path& ContentTreeRoot();
// Gives dir a tpa/ folder of links to the tree's entries, but for those
// named in `own`, left to the caller.
void LinkContentTreeInto(const std::filesystem::path& dir, const std::set<std::string>& own = {});
// Writes a complete tree (and its contact sheet) under root.
void GenerateTreeInto(const std::filesystem::path& root);

// The tree in parts that can be generated apart, in the order a whole tree
// is written: pictures (with the contact sheet), models and sounds, music,
// then stages with their lists, scenarios, time table and demo replays,
// which the replays play.
enum class TreePart { kPictures, kModelsAndSounds, kMusic, kStagesAndReplays };
constexpr TreePart kTreeParts[] = {TreePart::kPictures, TreePart::kModelsAndSounds, TreePart::kMusic,
                                   TreePart::kStagesAndReplays};
void GenerateTreePartInto(const std::filesystem::path& root, TreePart part);
