// The resource tree being written: paths as the game spells them ('\'
// separated, under "tpa\"), text converted to code page 932.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class OutputTree {
public:
    explicit OutputTree(std::string root) : root_(std::move(root)) {}
    // gamePath like "tpa\\stage\\stage_normal0.stg"; false (and a message on
    // stderr) when the file cannot be written.
    bool WriteBytes(const std::string& gamePath, const void* data, size_t size);
    bool WriteBytes(const std::string& gamePath, const std::vector<uint8_t>& bytes) {
        return WriteBytes(gamePath, bytes.data(), bytes.size());
    }
    // UTF-8 source text, stored as code page 932.
    bool WriteText(const std::string& gamePath, const std::string& utf8);
    std::string HostPath(const std::string& gamePath) const;
    int filesWritten() const { return filesWritten_; }
    bool failed() const { return failed_; }

private:
    std::string root_;
    int filesWritten_ = 0;
    bool failed_ = false;
};

// UTF-8 to code page 932; aborts the generator on text that has no CP932
// form, since that is a fault in the generator's own tables.
std::string ToCp932(const std::string& utf8);
