// Code page conversion through glibc iconv ("CP932", UTF-8, UTF-16).
// Stands in for MultiByteToWideChar and WideCharToMultiByte.
// Depends on: glibc iconv.
#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

bool Convert(const char* to, const char* from, const char* in, size_t inBytes, std::string& out) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
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
    iconv_close(cd);
    if (!ok) {
        out.clear();
        return false;
    }
    out.resize(used);
    return true;
}

}  // namespace

bool Cp932ToUtf8(const std::string& in, std::string& out) {
    return Convert("UTF-8", "CP932", in.data(), in.size(), out);
}

bool Utf8ToCp932(const std::string& in, std::string& out) {
    return Convert("CP932", "UTF-8", in.data(), in.size(), out);
}

namespace {

bool ToUtf16(const char* from, const std::string& in, std::u16string& out) {
    std::string bytes;
    out.clear();
    if (!Convert("UTF-16LE", from, in.data(), in.size(), bytes)) return false;
    out.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
    return true;
}

bool FromUtf16(const char* to, const std::u16string& in, std::string& out) {
    std::string bytes(in.size() * 2, '\0');
    for (size_t i = 0; i < in.size(); ++i) {
        bytes[2 * i] = char(in[i] & 0xFF);
        bytes[2 * i + 1] = char(in[i] >> 8);
    }
    return Convert(to, "UTF-16LE", bytes.data(), bytes.size(), out);
}

}  // namespace

bool Cp932ToUtf16(const std::string& in, std::u16string& out) { return ToUtf16("CP932", in, out); }
bool Utf16ToCp932(const std::u16string& in, std::string& out) { return FromUtf16("CP932", in, out); }
bool Utf8ToUtf16(const std::string& in, std::u16string& out) { return ToUtf16("UTF-8", in, out); }
bool Utf16ToUtf8(const std::u16string& in, std::string& out) { return FromUtf16("UTF-8", in, out); }

}  // namespace platform
