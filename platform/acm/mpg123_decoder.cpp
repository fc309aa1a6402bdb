// libmpg123's one-time initialisation and the decoder settings shared by
// the compression codec and the media graph's decoder.
// Depends on: libmpg123.
#include "acm/mpg123_decoder.h"

#include <mutex>

namespace morpotta::platform {

mpg123_handle* NewMpegDecoder(long rate, int channels) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
    if (!decoder) return nullptr;
    bool ready = mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0) == MPG123_OK &&
                 mpg123_param(decoder, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) == MPG123_OK &&
                 mpg123_format_none(decoder) == MPG123_OK &&
                 mpg123_format(decoder, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16) ==
                     MPG123_OK &&
                 mpg123_param(decoder, MPG123_ADD_FLAGS, channels == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO, 0) ==
                     MPG123_OK;
    if (!ready) {
        mpg123_delete(decoder);
        return nullptr;
    }
    return decoder;
}

}  // namespace morpotta::platform
