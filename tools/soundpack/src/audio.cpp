#include "audio.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace zorvan::soundpack {

namespace {

void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xff));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xff));
}
std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
bool tagIs(std::span<const std::uint8_t> b, std::size_t at, const char* tag) {
    return b[at] == tag[0] && b[at + 1] == tag[1] && b[at + 2] == tag[2] && b[at + 3] == tag[3];
}


std::vector<float> framePeaks(const Audio& a) {
    std::vector<float> p(a.frames(), 0.0f);
    for (const auto& c : a.ch)
        for (std::size_t i = 0; i < c.size(); ++i) p[i] = std::max(p[i], std::fabs(c[i]));
    return p;
}

double rmsDb(const std::vector<float>& x, std::ptrdiff_t from, std::ptrdiff_t count) {
    const auto n = static_cast<std::ptrdiff_t>(x.size());
    double e = 0;
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        std::ptrdiff_t k = ((from + i) % n + n) % n;
        e += double(x[static_cast<std::size_t>(k)]) * x[static_cast<std::size_t>(k)];
    }
    e /= std::max<std::ptrdiff_t>(count, 1);
    return e > 1e-20 ? 10.0 * std::log10(e) : -200.0;
}

}  // namespace

std::vector<std::uint8_t> encodeWav16(const Audio& audio) {
    const auto channels = static_cast<std::uint32_t>(audio.channels());
    const auto frames = static_cast<std::uint32_t>(audio.frames());
    const std::uint32_t dataBytes = frames * channels * 2;
    std::vector<std::uint8_t> b;
    b.reserve(44 + dataBytes);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, static_cast<std::uint16_t>(channels));
    put32(b, static_cast<std::uint32_t>(audio.rate));
    put32(b, static_cast<std::uint32_t>(audio.rate) * channels * 2);
    put16(b, static_cast<std::uint16_t>(channels * 2));
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            double v = std::round(double(audio.ch[c][i]) * 32767.0);
            v = std::clamp(v, -32768.0, 32767.0);
            put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
        }
    }
    return b;
}

WavFile decodeWav(std::span<const std::uint8_t> b) {
    if (b.size() < 12 || !tagIs(b, 0, "RIFF") || !tagIs(b, 8, "WAVE"))
        throw std::runtime_error("not a RIFF WAVE file");
    WavFile w;
    bool haveFmt = false;
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = get32(b, at + 4);
        const std::size_t body = at + 8;
        if (body + size > b.size()) throw std::runtime_error("chunk runs past the end of the file");
        if (tagIs(b, at, "fmt ")) {
            if (size < 16) throw std::runtime_error("fmt chunk too short");
            w.formatTag = get16(b, body);
            w.channels = get16(b, body + 2);
            w.rate = static_cast<int>(get32(b, body + 4));
            w.bitsPerSample = get16(b, body + 14);
            haveFmt = true;
        } else if (tagIs(b, at, "data")) {
            if (!haveFmt) throw std::runtime_error("data chunk before fmt chunk");
            if (w.formatTag != 1) throw std::runtime_error("not PCM");
            if (w.channels < 1 || w.channels > 2) throw std::runtime_error("not mono or stereo");
            if (w.bitsPerSample != 8 && w.bitsPerSample != 16) throw std::runtime_error("not 8 or 16 bit");
            const std::size_t bytesPerFrame = std::size_t(w.channels) * (w.bitsPerSample / 8);
            const std::size_t frames = size / bytesPerFrame;
            w.audio = Audio(w.rate, w.channels, frames);
            for (std::size_t i = 0; i < frames; ++i) {
                for (int c = 0; c < w.channels; ++c) {
                    float v;
                    if (w.bitsPerSample == 16) {
                        auto s = static_cast<std::int16_t>(get16(b, body + i * bytesPerFrame + std::size_t(c) * 2));
                        v = float(s) / 32768.0f;
                    } else {
                        v = (float(b[body + i * bytesPerFrame + std::size_t(c)]) - 128.0f) / 128.0f;
                    }
                    w.audio.ch[std::size_t(c)][i] = v;
                }
            }
            return w;
        }
        at = body + size + (size & 1);
    }
    throw std::runtime_error("no data chunk");
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

WavFile readWavFile(const std::string& path) {
    auto bytes = readFileBytes(path);
    try {
        return decodeWav(bytes);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

Audio resample(const Audio& in, int newRate) {
    if (newRate == in.rate) return in;
    const auto outFrames = static_cast<std::size_t>(std::llround(double(in.frames()) * newRate / in.rate));
    Audio out(newRate, in.channels(), outFrames);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
    for (int c = 0; c < in.channels(); ++c) {
        std::size_t done = 0;
        const soxr_error_t err = soxr_oneshot(in.rate, newRate, 1, in.ch[std::size_t(c)].data(), in.frames(), nullptr,
                                              out.ch[std::size_t(c)].data(), outFrames, &done, &io, &q, nullptr);
        if (err) throw std::runtime_error(std::string("rate conversion failed: ") + err);
    }
    return out;
}

Audio withChannels(const Audio& in, int channels) {
    if (in.channels() == channels) return in;
    Audio out(in.rate, channels, in.frames());
    if (in.channels() == 1) {
        for (auto& c : out.ch) c = in.ch[0];
        return out;
    }
    for (std::size_t i = 0; i < in.frames(); ++i) {
        double s = 0;
        for (const auto& c : in.ch) s += c[i];
        const float v = static_cast<float>(s / in.channels());
        for (auto& c : out.ch) c[i] = v;
    }
    return out;
}

Audio panMono(const Audio& mono, double pan) {
    Audio m = withChannels(mono, 1);
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * std::numbers::pi / 4.0;
    Audio out(m.rate, 2, m.frames());
    const auto l = static_cast<float>(std::cos(angle) * std::numbers::sqrt2);
    const auto r = static_cast<float>(std::sin(angle) * std::numbers::sqrt2);
    for (std::size_t i = 0; i < m.frames(); ++i) {
        out.ch[0][i] = std::clamp(l, 0.0f, 1.0f) * m.ch[0][i];
        out.ch[1][i] = std::clamp(r, 0.0f, 1.0f) * m.ch[0][i];
    }
    return out;
}

void append(Audio& dst, const Audio& src) {
    if (dst.ch.empty()) {
        dst = src;
        return;
    }
    if (dst.rate != src.rate || dst.channels() != src.channels())
        throw std::logic_error("append: rate or channel count differ");
    for (std::size_t c = 0; c < dst.ch.size(); ++c) dst.ch[c].insert(dst.ch[c].end(), src.ch[c].begin(), src.ch[c].end());
}

double dbToGain(double db) { return std::pow(10.0, db / 20.0); }
double gainToDb(double gain) { return gain > 1e-10 ? 20.0 * std::log10(gain) : -200.0; }

float peakOf(const Audio& a) {
    float p = 0;
    for (const auto& c : a.ch)
        for (float v : c) p = std::max(p, std::fabs(v));
    return p;
}

double gatedRmsDb(const Audio& a) {
    const std::size_t block = std::max<std::size_t>(1, static_cast<std::size_t>(a.rate / 50));
    std::vector<double> energies;
    for (std::size_t start = 0; start < a.frames(); start += block) {
        const std::size_t end = std::min(a.frames(), start + block);
        if (end - start < block / 4) break;
        double e = 0;
        for (const auto& c : a.ch)
            for (std::size_t i = start; i < end; ++i) e += double(c[i]) * c[i];
        energies.push_back(e / double((end - start) * a.ch.size()));
    }
    double maxE = 0;
    for (double e : energies) maxE = std::max(maxE, e);
    if (maxE <= 1e-12) return -200.0;
    const double floorE = std::max(maxE * std::pow(10.0, -25.0 / 10.0), std::pow(10.0, -60.0 / 10.0));
    double sum = 0;
    int count = 0;
    for (double e : energies) {
        if (e >= floorE) {
            sum += e;
            ++count;
        }
    }
    return 10.0 * std::log10(sum / count);
}

void applyGain(Audio& a, double gain) {
    for (auto& c : a.ch)
        for (float& v : c) v = static_cast<float>(v * gain);
}

void limitPeaks(Audio& a, float ceiling, double windowMs) {
    const std::size_t n = a.frames();
    if (n == 0) return;
    const auto w = static_cast<std::ptrdiff_t>(std::max(1.0, windowMs * a.rate / 1000.0));
    const std::vector<float> peaks = framePeaks(a);
    std::vector<double> need(n);
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
        need[i] = peaks[i] > ceiling ? double(ceiling) / peaks[i] : 1.0;
        any = any || need[i] < 1.0;
    }
    if (!any) return;
    // Minimum over [i - w, i + w], then the mean over the same span: every value averaged at
    // sample i is a minimum over a span that holds i, so the result never exceeds need[i].
    const auto sn = static_cast<std::ptrdiff_t>(n);
    std::vector<double> lowest(n);
    std::deque<std::ptrdiff_t> q;
    std::ptrdiff_t next = 0;
    for (std::ptrdiff_t i = 0; i < sn; ++i) {
        while (next < sn && next <= i + w) {
            while (!q.empty() && need[static_cast<std::size_t>(q.back())] >= need[static_cast<std::size_t>(next)]) q.pop_back();
            q.push_back(next++);
        }
        while (q.front() < i - w) q.pop_front();
        lowest[static_cast<std::size_t>(i)] = need[static_cast<std::size_t>(q.front())];
    }
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + lowest[i];
    for (std::ptrdiff_t i = 0; i < sn; ++i) {
        const std::ptrdiff_t lo = std::max<std::ptrdiff_t>(0, i - w);
        const std::ptrdiff_t hi = std::min<std::ptrdiff_t>(sn - 1, i + w);
        const double g = (prefix[static_cast<std::size_t>(hi + 1)] - prefix[static_cast<std::size_t>(lo)]) / double(hi - lo + 1);
        for (auto& c : a.ch) c[static_cast<std::size_t>(i)] = static_cast<float>(c[static_cast<std::size_t>(i)] * g);
    }
    // Rounding of the gain can leave a hair above the ceiling.
    for (auto& c : a.ch)
        for (float& v : c) v = std::clamp(v, -ceiling, ceiling);
}

void removeDc(Audio& a) {
    for (auto& c : a.ch) {
        if (c.empty()) continue;
        double s = 0;
        for (float v : c) s += v;
        const auto mean = static_cast<float>(s / double(c.size()));
        for (float& v : c) v -= mean;
    }
}

void highPass(Audio& a, double hz) {
    const double k = std::exp(-2.0 * std::numbers::pi * hz / a.rate);
    for (auto& c : a.ch) {
        double prevX = 0, prevY = 0;
        for (float& v : c) {
            const double y = k * (prevY + v - prevX);
            prevX = v;
            prevY = y;
            v = static_cast<float>(y);
        }
    }
}

void trimTail(Audio& a, double thresholdDb, double keepMs) {
    const double limit = dbToGain(thresholdDb);
    std::size_t end = a.frames();
    while (end > 0) {
        bool quiet = true;
        for (const auto& c : a.ch) quiet = quiet && std::fabs(c[end - 1]) < limit;
        if (!quiet) break;
        --end;
    }
    const auto keep = std::min(a.frames(), end + static_cast<std::size_t>(keepMs * a.rate / 1000.0));
    for (auto& c : a.ch) c.resize(std::max<std::size_t>(keep, 1));
}

void fadeIn(Audio& a, double ms) {
    const auto n = std::min(a.frames(), static_cast<std::size_t>(ms * a.rate / 1000.0));
    for (std::size_t i = 0; i < n; ++i) {
        const double g = 0.5 - 0.5 * std::cos(std::numbers::pi * (double(i) + 0.5) / double(n));
        for (auto& c : a.ch) c[i] = static_cast<float>(c[i] * g);
    }
}

void fadeOut(Audio& a, double ms) {
    const std::size_t total = a.frames();
    const auto n = std::min(total, static_cast<std::size_t>(ms * a.rate / 1000.0));
    for (std::size_t i = 0; i < n; ++i) {
        const double g = 0.5 - 0.5 * std::cos(std::numbers::pi * (double(i) + 0.5) / double(n));
        for (auto& c : a.ch) c[total - 1 - i] = static_cast<float>(c[total - 1 - i] * g);
    }
}

void trimSilence(Audio& a, double thresholdDb, double leadMs, double tailMs) {
    // Envelope: RMS over a centred 10 ms window, so a stray low click in a pause does not count
    // as sound while a soft consonant does.
    const std::size_t n = a.frames();
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        double e = 0;
        for (const auto& c : a.ch) e += double(c[i]) * c[i];
        prefix[i + 1] = prefix[i] + e / double(a.ch.size());
    }
    const auto half = std::max<std::size_t>(1, static_cast<std::size_t>(a.rate / 200));
    const double thr = dbToGain(thresholdDb) * dbToGain(thresholdDb);
    std::size_t first = n, last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t lo = i > half ? i - half : 0, hi = std::min(n, i + half);
        if ((prefix[hi] - prefix[lo]) / double(hi - lo) >= thr) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == n) {  // nothing audible: keep a token 10 ms
        for (auto& c : a.ch) c.assign(static_cast<std::size_t>(a.rate / 100), 0.0f);
        return;
    }
    const auto lead = static_cast<std::size_t>(leadMs * a.rate / 1000.0);
    const auto tail = static_cast<std::size_t>(tailMs * a.rate / 1000.0);
    const std::size_t start = first > lead ? first - lead : 0;
    const std::size_t end = std::min(n, last + 1 + tail);
    for (auto& c : a.ch) c = std::vector<float>(c.begin() + static_cast<std::ptrdiff_t>(start), c.begin() + static_cast<std::ptrdiff_t>(end));
    fadeIn(a, double(first - start) * 1000.0 / a.rate);
    fadeOut(a, double(end - last - 1) * 1000.0 / a.rate);
}

Audio silence(int rate, int channels, double seconds) {
    return Audio(rate, channels, static_cast<std::size_t>(std::llround(seconds * rate)));
}

double leadingSilenceMs(const Audio& a, double thresholdDb) {
    const auto peaks = framePeaks(a);
    const auto thr = static_cast<float>(dbToGain(thresholdDb));
    std::size_t n = 0;
    while (n < peaks.size() && peaks[n] < thr) ++n;
    return double(n) * 1000.0 / a.rate;
}

double trailingSilenceMs(const Audio& a, double thresholdDb) {
    const auto peaks = framePeaks(a);
    const auto thr = static_cast<float>(dbToGain(thresholdDb));
    std::size_t n = 0;
    while (n < peaks.size() && peaks[peaks.size() - 1 - n] < thr) ++n;
    return double(n) * 1000.0 / a.rate;
}

SeamReport analyseSeam(const Audio& a) {
    SeamReport worst;
    double worstExcess = -1e9;
    const auto n = static_cast<std::ptrdiff_t>(a.frames());
    const auto w = static_cast<std::ptrdiff_t>(a.rate / 200);  // 5 ms
    const auto win = static_cast<std::ptrdiff_t>(a.rate / 50);  // 20 ms
    if (n < 4 * win) return worst;
    for (const auto& x : a.ch) {
        SeamReport r;
        r.seamStep = std::fabs(double(x[0]) - x[static_cast<std::size_t>(n - 1)]);
        for (std::ptrdiff_t i = n - 1 - w; i < n - 1; ++i)
            r.localStep = std::max(r.localStep, std::fabs(double(x[static_cast<std::size_t>(i + 1)]) - x[static_cast<std::size_t>(i)]));
        for (std::ptrdiff_t i = 0; i < w; ++i)
            r.localStep = std::max(r.localStep, std::fabs(double(x[static_cast<std::size_t>(i + 1)]) - x[static_cast<std::size_t>(i)]));
        r.seamRmsDb = rmsDb(x, n - win / 2, win);
        r.loopMinRmsDb = 1e9;
        r.loopMaxRmsDb = -1e9;
        for (std::ptrdiff_t at = win / 2; at + win <= n - win / 2; at += win / 2) {
            const double db = rmsDb(x, at, win);
            r.loopMinRmsDb = std::min(r.loopMinRmsDb, db);
            r.loopMaxRmsDb = std::max(r.loopMaxRmsDb, db);
        }
        const double excess = r.seamStep - 2.0 * r.localStep;
        if (excess > worstExcess) {
            worstExcess = excess;
            worst = r;
        }
    }
    return worst;
}

}  // namespace zorvan::soundpack
