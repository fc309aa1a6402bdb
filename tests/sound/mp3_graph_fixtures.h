// MP3 streams that only the media graph decodes, made at test time, and
// libmpg123 called directly as the reference decoder.
#pragma once
#include "codec_fixtures.h"

#include <mpg123.h>

namespace soundtest {

// libmpg123 over a whole file, set up as the engine's decoders document
// theirs: 16-bit output at the first frame's rate and channel count, no
// gapless trimming, the encoder's info frame decoded as a frame.
inline std::vector<uint8_t> DirectDecode(const std::string& path, long* rate = nullptr, int* channels = nullptr) {
    mpg123_init();
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    std::vector<uint8_t> pcm;
    if (!h) return pcm;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    long r = 0;
    int c = 0, encoding = 0;
    if (mpg123_open(h, path.c_str()) == MPG123_OK && mpg123_getformat(h, &r, &c, &encoding) == MPG123_OK) {
        mpg123_format_none(h);
        mpg123_format(h, r, c, MPG123_ENC_SIGNED_16);
        std::vector<uint8_t> buffer(16384);
        for (;;) {
            size_t done = 0;
            int status = mpg123_read(h, buffer.data(), buffer.size(), &done);
            pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + long(done));
            if (status != MPG123_OK && status != MPG123_NEW_FORMAT) break;
        }
    }
    mpg123_close(h);
    mpg123_delete(h);
    if (rate) *rate = r;
    if (channels) *channels = c;
    return pcm;
}

}  // namespace soundtest
