// Records a sound server's source (the null sink's monitor) and prints, for every
// cue that starts after at least 100 ms of silence, when its first sample reached
// this recorder: onset_ns= on the steady clock, the one xprobe stamps keys with.
// Blocks of 2 ms keep that moment within about 2 ms of the sample's arrival.
//
// Usage: cueprobe SOURCE   (the server from PULSE_SERVER); prints ready=1, runs until killed.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cueprobe SOURCE\n");
        return 2;
    }
    constexpr unsigned kRate = 44100;
    constexpr int kBlock = kRate / 500;
    constexpr int kQuietSamples = kRate / 10;
    constexpr int kLoud = 200;
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    attr.fragsize = kBlock * sizeof(int16_t);
    int error = 0;
    pa_simple *in = pa_simple_new(nullptr, "cueprobe", PA_STREAM_RECORD, argv[1], "monitor", &sampleFormat, nullptr, &attr,
                                  &error);
    if (!in) {
        std::fprintf(stderr, "cueprobe: %s\n", pa_strerror(error));
        return 1;
    }
    std::printf("ready=1\n");
    std::fflush(stdout);
    int16_t block[kBlock];
    int quiet = kQuietSamples;
    for (;;) {
        if (pa_simple_read(in, block, sizeof block, &error) < 0) {
            std::fprintf(stderr, "cueprobe: %s\n", pa_strerror(error));
            return 1;
        }
        const auto arrived = std::chrono::steady_clock::now();
        for (int i = 0; i < kBlock; ++i) {
            if (std::abs(block[i]) < kLoud) {
                ++quiet;
                continue;
            }
            if (quiet >= kQuietSamples) {
                const auto at = arrived - std::chrono::nanoseconds(int64_t(kBlock - i) * 1000000000 / kRate);
                std::printf("onset_ns=%lld\n", static_cast<long long>(
                                                   std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                       at.time_since_epoch()).count()));
                std::fflush(stdout);
            }
            quiet = 0;
        }
    }
}
