// An in-memory file table for the model tests: files are named byte
// strings, opened through the same FileAccessTable the engine uses.
#pragma once
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/base/graphics_services.h"

using namespace morpotta;

class FakeFiles {
public:
    FakeFiles() {
        Current() = this;
        table_.open = [](const char* path, int, int, int) -> FileHandle {
            Current()->opened_.push_back(path);
            auto it = Current()->files_.find(path);
            if (it == Current()->files_.end()) return 0;
            auto* open = new OpenFile{&it->second, 0};
            return reinterpret_cast<FileHandle>(open);
        };
        table_.close = [](FileHandle f) {
            delete reinterpret_cast<OpenFile*>(f);
            return 0;
        };
        table_.tell = [](FileHandle f) -> int64_t { return int64_t(reinterpret_cast<OpenFile*>(f)->position); };
        table_.seek = [](FileHandle f, int64_t offset, int origin) {
            auto* o = reinterpret_cast<OpenFile*>(f);
            int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(o->position) : int64_t(o->data->size());
            if (base + offset < 0) return -1;
            o->position = size_t(base + offset);
            return 0;
        };
        table_.read = [](void* buffer, size_t size, size_t count, FileHandle f) -> size_t {
            auto* o = reinterpret_cast<OpenFile*>(f);
            size_t left = o->position < o->data->size() ? o->data->size() - o->position : 0;
            size_t whole = size ? std::min(count, left / size) : 0;
            std::memcpy(buffer, o->data->data() + o->position, whole * size);
            o->position += whole * size;
            return whole;
        };
        table_.getDirectory = [](char* buffer, size_t capacity) {
            std::strncpy(buffer, "C:\\game", capacity);
            return 0;
        };
        SetModelFileAccessTable(&table_);
    }
    ~FakeFiles() {
        SetModelFileAccessTable(nullptr);
        Current() = nullptr;
    }
    void Add(const std::string& name, std::string bytes) { files_[name] = std::move(bytes); }
    // Every path asked for, found or not, in order.
    const std::vector<std::string>& Opened() const { return opened_; }

private:
    struct OpenFile {
        std::string* data;
        size_t position;
    };
    static FakeFiles*& Current() {
        static FakeFiles* current = nullptr;
        return current;
    }
    std::map<std::string, std::string> files_;
    std::vector<std::string> opened_;
    FileAccessTable table_{};
};
