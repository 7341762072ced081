#include "platform/audio_buffer.h"

#include <charconv>
#include <string>

namespace zorvan {

int audioBufferFrames(SettingsStore& settings, std::ostream& errors) {
    const std::string raw = settings.get("Kestrine", "zorvan", "audiobuffer", "");
    const auto first = raw.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return AudioBuffer::kDefaultFrames;
    const auto last = raw.find_last_not_of(" \t\r\n");
    const char* begin = raw.data() + first;
    const char* end = raw.data() + last + 1;
    int frames = 0;
    auto [ptr, ec] = std::from_chars(begin, end, frames);
    if (ec == std::errc{} && ptr == end && frames >= AudioBuffer::kMinFrames &&
        frames <= AudioBuffer::kMaxFrames)
        return frames;
    errors << "zorvan: audiobuffer=\"" << raw << "\" in the [zorvan] settings is not a number of frames from "
           << AudioBuffer::kMinFrames << " to " << AudioBuffer::kMaxFrames << "; using "
           << AudioBuffer::kDefaultFrames << '\n';
    return AudioBuffer::kDefaultFrames;
}

}  // namespace zorvan
