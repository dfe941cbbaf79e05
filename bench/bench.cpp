// Speed of the cleaning engine on one minute of speech-like stereo input,
// measured against the noise-suppression library's own frame function on
// the same audio; and the cost of turning the knob photo to a new value.
//
// Usage: hushkit_bench [section ...]   (no argument runs every section)
//
// Each section is one function in the list at the bottom of this file; it
// prints its own result lines. Every figure is the best of several
// repetitions, which keeps the ratios stable on a shared machine.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <rnnoise.h>

#include "Engine.h"
#include "Processor.h"
#include "RotatingMaterial.h"
#include "knob_photo.h"
#include "signals.h"

#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

namespace {

constexpr double Seconds = 60.0;
constexpr int Repetitions = 5;
constexpr int BlockFrames = 256;

// ---------------------------------------------------------------- input ---

// Planar stereo input at one rate, with output buffers of the same size.
struct Audio {
    double rate = 48000.0;
    std::vector<float> channel[2];
    std::vector<float> result[2];

    size_t frames() const { return channel[0].size(); }
    double seconds() const { return static_cast<double>(frames()) / rate; }
};

Audio makeAudio(double rate)
{
    Audio a;
    a.rate = rate;
    const auto frames = static_cast<size_t>(rate * Seconds);
    a.channel[0] = hushkit::test::speechLike(rate, frames, 12345u);
    a.channel[1] = hushkit::test::speechLike(rate, frames, 67890u, {0.37});
    a.result[0].assign(a.frames(), 0.0f);
    a.result[1].assign(a.frames(), 0.0f);
    return a;
}

// --------------------------------------------------------------- timing ---

// Best wall-clock time of `reps` runs of `run`; `setup` runs before each
// repetition, outside the timed span.
double bestOf(int reps, const std::function<void()>& setup, const std::function<void()>& run)
{
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        setup();
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto stop = std::chrono::steady_clock::now();
        const double s = std::chrono::duration<double>(stop - start).count();
        if (s < best)
            best = s;
    }
    return best;
}

// Feeds the whole input through `engine` in blocks, as the renderer and a
// host do.
void runEngine(hushkit::Engine& engine, Audio& audio, int block = BlockFrames)
{
    const size_t frames = audio.frames();
    for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
        const auto n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), frames - pos));
        const float* in[2] = {audio.channel[0].data() + pos, audio.channel[1].data() + pos};
        float* out[2] = {audio.result[0].data() + pos, audio.result[1].data() + pos};
        engine.process(in, out, 2, n);
    }
}

// Best time of the engine prepared as given, on `audio` (stereo).
double timeEngine(Audio& audio, bool neural, bool live, bool* neuralActive = nullptr)
{
    hushkit::Engine engine;
    if (!engine.prepare(audio.rate, 2, neural, live)) {
        std::printf("  prepare(%.0f, 2, %d, %d) refused\n", audio.rate, neural, live);
        return 0.0;
    }
    if (neuralActive)
        *neuralActive = engine.neuralActive;
    return bestOf(Repetitions, [&] { engine.resetRealtime(); }, [&] { runEngine(engine, audio); });
}

// --------------------------------------------------------------- shared ---

void printEngineLine(const char* name, double seconds, double audioSeconds)
{
    std::printf("  %-28s %8.3f s   %7.1f x real time\n", name, seconds, audioSeconds / seconds);
}

// The 48 kHz input, shared by every section that runs at that rate.
Audio& audio48()
{
    static Audio a = makeAudio(48000.0);
    return a;
}

// The library's own frame function on `audio` (48 kHz), one state per
// channel, frames in 16-bit scale: the cost of the network itself.
class BareLibrary {
public:
    explicit BareLibrary(Audio& a) : audio(a), frames(a.frames() / hushkit::FrameSize * hushkit::FrameSize)
    {
        for (int c = 0; c < 2; ++c) {
            state[c] = rnnoise_create(nullptr);
            in[c].resize(frames);
            for (size_t n = 0; n < frames; ++n)
                in[c][n] = a.channel[c][n] * 32768.0f;
        }
    }
    ~BareLibrary()
    {
        for (DenoiseState* d : state)
            rnnoise_destroy(d);
    }
    BareLibrary(const BareLibrary&) = delete;
    BareLibrary& operator=(const BareLibrary&) = delete;

    void setup()
    {
        for (DenoiseState* d : state)
            rnnoise_init(d, nullptr);
    }
    void run()
    {
        for (size_t pos = 0; pos < frames; pos += hushkit::FrameSize)
            for (int c = 0; c < 2; ++c)
                rnnoise_process_frame(state[c], audio.result[c].data() + pos, in[c].data() + pos);
    }

private:
    Audio& audio;
    size_t frames;
    DenoiseState* state[2] = {};
    std::vector<float> in[2];
};

// Best times of an engine prepared as given and of the bare library, both on
// the 48 kHz input, measured in alternation so that a change in machine load
// affects both alike. Prints both lines and their ratio.
void compareWithBareLibrary(const char* name, bool neural, bool live, double target)
{
    Audio& a = audio48();
    hushkit::Engine engine;
    if (!engine.prepare(a.rate, 2, neural, live)) {
        std::printf("  prepare refused\n");
        return;
    }
    if (neural && !engine.neuralActive)
        std::printf("  warning: neural path not active (fell back to Live DSP)\n");
    BareLibrary bare(a);
    double bestEngine = 1e300;
    double bestBare = 1e300;
    for (int r = 0; r < Repetitions; ++r) {
        bestBare = std::min(bestBare, bestOf(1, [&] { bare.setup(); }, [&] { bare.run(); }));
        bestEngine = std::min(bestEngine, bestOf(1, [&] { engine.resetRealtime(); }, [&] { runEngine(engine, a); }));
    }
    printEngineLine("rnnoise_process_frame x2", bestBare, a.seconds());
    printEngineLine(name, bestEngine, a.seconds());
    std::printf("  ratio engine / bare library: %.3f (target <= %.2f)\n", bestEngine / bestBare, target);
}

// ------------------------------------------------------------- sections ---

void sectionNeuralClassic()
{
    compareWithBareLibrary("engine Neural Classic", true, false, 1.05);
}

void sectionNeuralLive()
{
    compareWithBareLibrary("engine Neural Live", true, true, 1.10);
}

void sectionLiveDsp()
{
    Audio& a = audio48();
    printEngineLine("engine Live DSP 48 kHz", timeEngine(a, false, false), a.seconds());
}

// The plug-in processor in 64-sample blocks with one parameter change per
// block, against the bare engine on the same audio in 64-sample blocks given
// the same value before each block: the cost of the processor's own work
// (change queues, mode check, meters reported to the host).
void sectionProcessor()
{
    using namespace Steinberg;
    using namespace Steinberg::Vst;
    constexpr int Block = 64;
    Audio& a = audio48();
    const size_t frames = a.frames() / Block * Block;

    HostApplication host;
    IPtr<hushkit::Processor> processor = owned(new hushkit::Processor(1));
    processor->initialize(static_cast<IHostApplication*>(&host));
    ProcessSetup setup{kRealtime, kSample32, Block, a.rate};
    if (processor->setupProcessing(setup) != kResultOk) {
        std::printf("  setupProcessing refused\n");
        return;
    }
    HostProcessData data;
    data.prepare(*processor, 0, kSample32);
    // Two prepared change lists, used in alternation: the host's own work
    // stays out of the timed span.
    ParameterChanges changes[2] = {ParameterChanges(1), ParameterChanges(1)};
    const double values[2] = {0.9, 0.95};
    for (int i = 0; i < 2; ++i) {
        int32 index = 0;
        changes[i].addParameterData(hushkit::ParamId::CleanAmount, index)->addPoint(0, values[i], index);
    }
    ParameterChanges outChanges(8);
    data.outputParameterChanges = &outChanges;
    data.numSamples = Block;

    auto runProcessor = [&] {
        for (size_t pos = 0, i = 0; pos < frames; pos += Block, ++i) {
            for (int32 c = 0; c < 2; ++c) {
                data.inputs[0].channelBuffers32[c] = a.channel[c].data() + pos;
                data.outputs[0].channelBuffers32[c] = a.result[c].data() + pos;
            }
            data.inputParameterChanges = &changes[i & 1];
            outChanges.clearQueue();
            processor->process(data);
        }
    };
    hushkit::Engine engine;
    engine.prepare(a.rate, 2, true, false);
    auto runBare = [&] {
        for (size_t pos = 0, i = 0; pos < frames; pos += Block, ++i) {
            const float* in[2] = {a.channel[0].data() + pos, a.channel[1].data() + pos};
            float* out[2] = {a.result[0].data() + pos, a.result[1].data() + pos};
            engine.set(hushkit::ParamId::CleanAmount, static_cast<float>(values[i & 1]));
            engine.process(in, out, 2, Block);
        }
    };

    double bestProcessor = 1e300;
    double bestBare = 1e300;
    for (int r = 0; r < Repetitions; ++r) {
        bestBare = std::min(bestBare, bestOf(1, [&] { engine.resetRealtime(); }, runBare));
        bestProcessor = std::min(bestProcessor, bestOf(
            1, [&] { processor->setActive(false); processor->setActive(true); }, runProcessor));
    }
    processor->setActive(false);
    processor->terminate();
    printEngineLine("engine Neural Classic, 64", bestBare, a.seconds());
    printEngineLine("processor Neural Classic, 64", bestProcessor, a.seconds());
    std::printf("  ratio processor / engine: %.3f (target <= 1.03)\n", bestProcessor / bestBare);
}

// Neural Live stereo at 44.1 kHz against the same configuration at 48 kHz,
// per second of audio: what the two converters and the per-sample chain
// calls of the converting path add. The two are timed in alternation.
void sectionConvert()
{
    Audio audio441 = makeAudio(44100.0);
    Audio& a48 = audio48();
    hushkit::Engine converting;
    hushkit::Engine native;
    if (!converting.prepare(audio441.rate, 2, true, true) || !native.prepare(a48.rate, 2, true, true)) {
        std::printf("  prepare refused\n");
        return;
    }
    if (!converting.neuralActive || !native.neuralActive)
        std::printf("  warning: neural path not active\n");
    double best441 = 1e300;
    double best48 = 1e300;
    for (int r = 0; r < Repetitions; ++r) {
        best441 = std::min(best441, bestOf(1, [&] { converting.resetRealtime(); },
                                           [&] { runEngine(converting, audio441); }));
        best48 = std::min(best48, bestOf(1, [&] { native.resetRealtime(); }, [&] { runEngine(native, a48); }));
    }
    printEngineLine("engine Neural Live 44.1 kHz", best441, audio441.seconds());
    printEngineLine("engine Neural Live 48 kHz", best48, a48.seconds());
    const double ratio = (best441 / audio441.seconds()) / (best48 / a48.seconds());
    std::printf("  ratio 44.1 kHz / 48 kHz per second of audio: %.3f (target <= 1.25)\n", ratio);
}

// The knob photo turned to a new value, as the editor does on every change
// of the Clean Amount: one render of the 700 x 700 material per change,
// against the editor's 16 ms refresh period.
void sectionKnob()
{
    const knobtest::Photo& photo = knobtest::photo();
    if (!photo.ok) {
        std::printf("  knob photo not decoded\n");
        return;
    }
    hushkit::knob::RotatingMaterial material(photo.width, photo.height, photo.premultiplied);
    constexpr int Changes = 40;
    constexpr double RefreshPeriod = 0.016;
    int change = 0;
    volatile uint32_t sink = 0;
    const double best = bestOf(Changes, [] {}, [&] {
        // Values spread over the range, each different from the last.
        const double value = static_cast<double>(change * 37 % Changes) / Changes;
        sink = material.render(value)[static_cast<size_t>(change) * 701];
        ++change;
    });
    std::printf("  RotatingMaterial::render %dx%d  %7.3f ms   %.3f of a 16 ms refresh period (best of %d changes)\n",
                photo.width, photo.height, best * 1e3, best / RefreshPeriod, Changes);
}

struct Section {
    const char* name;
    void (*run)();
};

// The benchmark's sections, run in this order. Add a section by writing a
// function above and listing it here.
const Section Sections[] = {
    {"classic", sectionNeuralClassic},
    {"live", sectionNeuralLive},
    {"livedsp", sectionLiveDsp},
    {"convert", sectionConvert},
    {"processor", sectionProcessor},
    {"knob", sectionKnob},
};

} // namespace

int main(int argc, char** argv)
{
    std::printf("Hushkit benchmark: %.0f s of stereo speech-like input, blocks of %d, best of %d\n", Seconds,
                BlockFrames, Repetitions);
    for (const Section& section : Sections) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], section.name) == 0;
        if (!wanted)
            continue;
        std::printf("[%s]\n", section.name);
        section.run();
        std::fflush(stdout);
    }
    return 0;
}
