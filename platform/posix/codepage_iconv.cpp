// Code page conversion through glibc iconv ("CP932", UTF-8, UTF-16).
// Stands in for MultiByteToWideChar and WideCharToMultiByte.
// Depends on: glibc iconv.
//
// Each direction's converter is opened at its first use and kept until
// CloseCodePageConverters: opening one loads its character sets' modules
// and closing the last one unloads them, which on two threads at once
// races inside the dynamic loader. They are shared under one lock (a
// converter carries state through a conversion, and one lock keeps the
// loading and unloading on one thread at a time).
#include "platform/codepage.h"
#include "platform/lasting_state.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

namespace morpotta::platform {
namespace {

enum Direction { kCp932ToUtf8, kUtf8ToCp932, kCp932ToUtf16, kUtf8ToUtf16, kUtf16ToCp932, kUtf16ToUtf8, kDirections };

struct Names {
    const char* to;
    const char* from;
};
constexpr Names kNames[kDirections] = {{"UTF-8", "CP932"},    {"CP932", "UTF-8"},    {"UTF-16LE", "CP932"},
                                       {"UTF-16LE", "UTF-8"}, {"CP932", "UTF-16LE"}, {"UTF-8", "UTF-16LE"}};

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

struct ConverterModule {
    std::mutex lock;
    iconv_t open[kDirections] = {kClosed, kClosed, kClosed, kClosed, kClosed, kClosed};  // under lock
};

ConverterModule& ConverterState() {
    return LastingState<ConverterModule>();
}

// The converter of a direction, opened if need be, in its initial state
// (caller holds the lock); kClosed when iconv has none.
iconv_t ConverterLocked(Direction d) {
    iconv_t& cd = ConverterState().open[d];
    if (cd == kClosed) cd = iconv_open(kNames[d].to, kNames[d].from);
    else iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
}

bool Convert(Direction d, const char* in, size_t inBytes, std::string& out) {
    out.clear();
    std::lock_guard<std::mutex> guard(ConverterState().lock);
    iconv_t cd = ConverterLocked(d);
    if (cd == kClosed) return false;
    out.resize(inBytes * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t srcLeft = inBytes;
    char* dst = out.data();
    size_t dstLeft = out.size();
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == (size_t)-1) {
            if (errno == E2BIG) {
                size_t used = size_t(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
                continue;
            }
            ok = false;
            break;
        }
    }
    size_t used = size_t(dst - out.data());
    if (!ok) {
        out.clear();
        return false;
    }
    out.resize(used);
    return true;
}

}  // namespace

bool Cp932ToUtf8(const std::string& in, std::string& out) { return Convert(kCp932ToUtf8, in.data(), in.size(), out); }

bool Utf8ToCp932(const std::string& in, std::string& out) { return Convert(kUtf8ToCp932, in.data(), in.size(), out); }

namespace {

bool ToUtf16(Direction d, const std::string& in, std::u16string& out) {
    std::string bytes;
    out.clear();
    if (!Convert(d, in.data(), in.size(), bytes)) return false;
    out.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
    return true;
}

bool FromUtf16(Direction d, const std::u16string& in, std::string& out) {
    std::string bytes(in.size() * 2, '\0');
    for (size_t i = 0; i < in.size(); ++i) {
        bytes[2 * i] = char(in[i] & 0xFF);
        bytes[2 * i + 1] = char(in[i] >> 8);
    }
    return Convert(d, bytes.data(), bytes.size(), out);
}

}  // namespace

bool Cp932ToUtf16(const std::string& in, std::u16string& out) { return ToUtf16(kCp932ToUtf16, in, out); }
bool Utf16ToCp932(const std::u16string& in, std::string& out) { return FromUtf16(kUtf16ToCp932, in, out); }
bool Utf8ToUtf16(const std::string& in, std::u16string& out) { return ToUtf16(kUtf8ToUtf16, in, out); }
bool Utf16ToUtf8(const std::u16string& in, std::string& out) { return FromUtf16(kUtf16ToUtf8, in, out); }

void CloseCodePageConverters() {
    std::lock_guard<std::mutex> guard(ConverterState().lock);
    for (iconv_t& cd : ConverterState().open) {
        if (cd != kClosed) iconv_close(cd);
        cd = kClosed;
    }
}

}  // namespace morpotta::platform
