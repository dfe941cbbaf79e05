// hushkit_render run as a separate process: exit codes, messages, summary
// line and the bytes it writes, on WAV files built here.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>
#include <vector>

#include "Engine.h"
#include "Wav.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const char* const Usage = "Usage: hushkit_render input-pcm16.wav output.wav [amount] [classic]\n";
const char* const NotRiff = "Not RIFF WAVE\n";
const char* const NotPcm = "Requires PCM16 mono/stereo\n";

// --- WAV fixtures ------------------------------------------------------------

void put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& b, uint32_t v)
{
    put16(b, v);
    put16(b, v >> 16);
}

void putTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

Bytes fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0)
{
    Bytes b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * bits / 8u);
    put16(b, static_cast<uint32_t>(channels * bits / 8u));
    put16(b, bits);
    b.resize(b.size() + extra, 0);
    return b;
}

// Chunk with its true size; a pad byte follows an odd body unless told not.
Bytes chunk(const char* id, const Bytes& body, bool pad = true)
{
    Bytes b;
    putTag(b, id);
    put32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (pad && (body.size() & 1u))
        b.push_back(0);
    return b;
}

// Chunk header with any size field, followed by the given body bytes.
Bytes chunkWithSize(const char* id, uint32_t size, const Bytes& body)
{
    Bytes b;
    putTag(b, id);
    put32(b, size);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes riff(const std::vector<Bytes>& chunks)
{
    Bytes b;
    putTag(b, "RIFF");
    put32(b, 0);
    putTag(b, "WAVE");
    for (const Bytes& c : chunks)
        b.insert(b.end(), c.begin(), c.end());
    const auto size = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    return b;
}

// Channels given planar, stored interleaved.
Bytes pcmBody(const std::vector<std::vector<int16_t>>& ch)
{
    Bytes b;
    for (size_t i = 0; i < ch[0].size(); ++i)
        for (const auto& c : ch)
            put16(b, static_cast<uint16_t>(c[i]));
    return b;
}

Bytes pcmFile(const std::vector<std::vector<int16_t>>& ch, uint32_t rate)
{
    return riff({chunk("fmt ", fmtBody(1, static_cast<uint16_t>(ch.size()), rate, 16)), chunk("data", pcmBody(ch))});
}

// Speech-like test signal: voiced bursts with gliding pitch and sharp onsets
// at irregular places, a little noise, and one full-scale square stretch that
// drives the output beyond both ends of the 16-bit range.
std::vector<int16_t> testSignal(size_t frames, uint32_t rate, uint32_t seed)
{
    std::vector<int16_t> s(frames);
    uint32_t lcg = seed * 2654435761u + 1u;
    double phase = 0.0;
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double cycle = std::fmod(t + 0.037 * seed, 0.53);
        const bool voiced = cycle > 0.11 && cycle < 0.41;
        const double f0 = 130.0 + 60.0 * std::sin(2.0 * pi * 1.7 * t) + 15.0 * seed;
        phase += 2.0 * pi * f0 / rate;
        double v = 0.0;
        if (voiced) {
            for (int k = 1; k <= 12; ++k)
                v += std::sin(k * phase) / k;
            v *= 0.18 * std::exp(-(cycle - 0.11) * 4.0);
        }
        lcg = lcg * 1664525u + 1013904223u;
        v += (static_cast<double>(lcg >> 8) / 16777216.0 - 0.5) * 0.004;
        if (t > 0.6 && t < 0.64)
            v = std::fmod(t, 0.01) < 0.005 ? 1.0 : -1.0;
        const double q = std::floor(v * 32768.0);
        s[i] = static_cast<int16_t>(q > 32767 ? 32767 : (q < -32768 ? -32768 : q));
    }
    return s;
}

// What the program must write: the same engine calls, the whole signal in one
// call, the delay dropped and the samples converted.
struct Expected {
    Bytes file;
    uint64_t compensation = 0;
    bool neural = false;
};

Expected expectedOutput(const std::vector<std::vector<int16_t>>& ch, uint32_t rate, const float* amount, bool classic)
{
    hushkit::Engine engine;
    engine.set(hushkit::ParamId::CleanupProfile, 1.0f);
    if (amount)
        engine.set(hushkit::ParamId::CleanAmount, *amount);
    const int channels = static_cast<int>(ch.size());
    EXPECT_TRUE(engine.prepare(rate, channels, true, !classic));
    Expected e;
    e.neural = engine.neuralActive;
    e.compensation = engine.neuralActive ? static_cast<uint64_t>(engine.latency) : 0;
    const size_t frames = ch[0].size();
    const size_t n = frames + e.compensation;
    std::vector<std::vector<float>> in(channels, std::vector<float>(n, 0.0f));
    std::vector<std::vector<float>> out(channels, std::vector<float>(n, 0.0f));
    for (int c = 0; c < channels; ++c)
        for (size_t i = 0; i < frames; ++i)
            in[c][i] = static_cast<float>(ch[c][i]) / 32768.0f;
    const float* ip[2] = {in[0].data(), channels > 1 ? in[1].data() : nullptr};
    float* op[2] = {out[0].data(), channels > 1 ? out[1].data() : nullptr};
    engine.process(ip, op, channels, static_cast<int32_t>(n));
    std::vector<std::vector<int16_t>> pcm(channels, std::vector<int16_t>(frames));
    for (int c = 0; c < channels; ++c)
        for (size_t k = 0; k < frames; ++k)
            pcm[c][k] = hushkit::floatToPcm16(out[c][k + e.compensation]);
    e.file = pcmFile(pcm, rate);
    return e;
}

std::string summary(uint64_t frames, uint64_t compensation, bool neural)
{
    return "Rendered " + std::to_string(frames) + " frames; compensated " + std::to_string(compensation) +
           " samples; neural=" + (neural ? "1" : "0") + "\n";
}

std::vector<std::vector<int16_t>> samplesOf(const Bytes& file, int channels)
{
    // Only for files the program wrote: the fixed 44-byte header.
    std::vector<std::vector<int16_t>> ch(channels);
    for (size_t p = 44; p + 1 < file.size(); p += 2) {
        const size_t idx = (p - 44) / 2;
        ch[idx % channels].push_back(static_cast<int16_t>(static_cast<uint16_t>(file[p] | (file[p + 1] << 8))));
    }
    return ch;
}

// --- Running the program -----------------------------------------------------

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class RenderTest : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override
    {
        std::string tmpl = (fs::path(::testing::TempDir()) / "hushkit_render_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }

    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string path(const char* name) const { return (dir / name).string(); }

    std::string write(const char* name, const Bytes& bytes) const
    {
        const std::string p = path(name);
        std::ofstream f(p, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    static Bytes read(const std::string& p)
    {
        std::ifstream f(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    using Environment = std::vector<std::pair<std::string, std::string>>;

    // Runs the program with the given arguments, its address space limited
    // to addressSpace bytes unless that is 0, with the given variables added
    // to its environment.
    Result run(const std::vector<std::string>& args, uint64_t addressSpace = 0,
               const Environment& environment = {}) const
    {
        const std::string outPath = path("stdout.txt");
        const std::string errPath = path("stderr.txt");
        std::vector<std::string> all{HUSHKIT_RENDER_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        Result r;
        const pid_t pid = fork();
        EXPECT_GE(pid, 0) << "could not start " << HUSHKIT_RENDER_PATH;
        if (pid < 0)
            return r;
        if (pid == 0) {
            if (addressSpace != 0) {
                const rlimit limit{addressSpace, addressSpace};
                setrlimit(RLIMIT_AS, &limit);
            }
            for (const auto& variable : environment)
                setenv(variable.first.c_str(), variable.second.c_str(), 1);
            const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
                _exit(126);
            execv(HUSHKIT_RENDER_PATH, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const Bytes o = read(outPath);
        const Bytes e = read(errPath);
        r.out.assign(o.begin(), o.end());
        r.err.assign(e.begin(), e.end());
        return r;
    }

    // Renders file bytes with extra arguments; the output must be written.
    Bytes render(const Bytes& input, const std::vector<std::string>& extra, Result* result = nullptr)
    {
        const std::string in = write("in.wav", input);
        const std::string out = path("out.wav");
        fs::remove(out);
        std::vector<std::string> args{in, out};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        if (result)
            *result = r;
        return read(out);
    }
};

// --- Conversion of output samples --------------------------------------------

TEST(RenderSampleConversion, FloatToPcm16)
{
    struct Case {
        float x;
        int16_t s;
    };
    const Case cases[] = {
        {1.0f, 32766},      {0.99997f, 32766},  {0.999969f, 32766},   {32767.0f / 32768.0f, 32766},
        {4.0f, 32766},      {0.5f, 16384},      {-0.5f, -16384},      {-1.0f, -32768},
        {-1.5f, -32768},    {-4.0f, -32768},    {-0.99999f, -32767},  {0.0f, 0},
        {-0.0f, 0},         {-1e-6f, 0},        {3.0f / 32768.0f, 3}, {-2.9f / 32768.0f, -2},
        {std::nanf(""), 0}, {-INFINITY, -32768}, {INFINITY, 32766},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hushkit::floatToPcm16(c.x), c.s) << "x = " << c.x;
}

TEST(RenderSampleConversion, Pcm16ToFloatIsExact)
{
    EXPECT_EQ(hushkit::pcm16ToFloat(-32768), -1.0f);
    EXPECT_EQ(hushkit::pcm16ToFloat(32767), 0.999969482421875f);
    EXPECT_EQ(hushkit::pcm16ToFloat(1), 1.0f / 32768.0f);
    EXPECT_EQ(hushkit::pcm16ToFloat(0), 0.0f);
}

// --- Arguments ----------------------------------------------------------------

TEST_F(RenderTest, WrongArgumentCountPrintsUsage)
{
    const std::string in = write("in.wav", pcmFile({testSignal(500, 48000, 1)}, 48000));
    const std::string out = path("out.wav");
    const std::vector<std::vector<std::string>> cases = {
        {}, {in}, {in, out, "1", "classic", "extra"},
    };
    for (const auto& args : cases) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 1) << args.size() << " arguments";
        EXPECT_EQ(r.err, Usage);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
    }
}

// --- Input checks ---------------------------------------------------------------

TEST_F(RenderTest, RefusedInputsExitTwoWithTheirMessageAndWriteNothing)
{
    const Bytes data = chunk("data", pcmBody({testSignal(64, 48000, 1)}));
    const Bytes stereoData = chunk("data", pcmBody({testSignal(64, 48000, 1), testSignal(64, 48000, 2)}));
    Bytes shortFmt = fmtBody(1, 1, 48000, 16);
    shortFmt.resize(14);
    auto header = [](const char* a, const char* b, size_t total) {
        Bytes h;
        putTag(h, a);
        put32(h, 0);
        putTag(h, b);
        h.resize(total, 0);
        return h;
    };
    struct Case {
        const char* name;
        Bytes file;
        const char* err;
    };
    const std::vector<Case> cases = {
        {"empty file", {}, NotRiff},
        {"11 bytes", header("RIFF", "WAVE", 11), NotRiff},
        {"RIFX", header("RIFX", "WAVE", 44), NotRiff},
        {"no WAVE", header("RIFF", "AVI ", 44), NotRiff},
        {"12 bytes", header("RIFF", "WAVE", 12), NotPcm},
        {"19 bytes", header("RIFF", "WAVE", 19), NotPcm},
        {"float format", riff({chunk("fmt ", fmtBody(3, 1, 48000, 32)), data}), NotPcm},
        {"tag 3 with 16 bits", riff({chunk("fmt ", fmtBody(3, 1, 48000, 16)), data}), NotPcm},
        {"extensible", riff({chunk("fmt ", fmtBody(0xFFFE, 1, 48000, 16, 24)), data}), NotPcm},
        {"24-bit", riff({chunk("fmt ", fmtBody(1, 1, 48000, 24)), data}), NotPcm},
        {"0 channels", riff({chunk("fmt ", fmtBody(1, 0, 48000, 16)), data}), NotPcm},
        {"3 channels", riff({chunk("fmt ", fmtBody(1, 3, 48000, 16)), chunk("data", Bytes(6 * 10))}), NotPcm},
        {"stereo data of 6 bytes", riff({chunk("fmt ", fmtBody(1, 2, 48000, 16)), chunk("data", Bytes(6))}), NotPcm},
        {"mono data of odd size", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunk("data", Bytes(7))}), NotPcm},
        {"no data chunk", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunk("LIST", Bytes(10))}), NotPcm},
        {"no fmt chunk", riff({stereoData}), NotPcm},
        {"fmt of 14 bytes is skipped", riff({chunk("fmt ", shortFmt), data}), NotPcm},
        {"second fmt is float", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunk("fmt ", fmtBody(3, 1, 48000, 16)), data}), NotPcm},
        {"second fmt makes stereo data odd", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunk("fmt ", fmtBody(1, 2, 48000, 16)), chunk("data", Bytes(6))}), NotPcm},
        {"data size 0xFFFFFFFF", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunkWithSize("data", 0xFFFFFFFFu, Bytes(64))}), ""},
        {"data one byte short", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), chunkWithSize("data", 65, Bytes(64))}), ""},
        {"skipped chunk too long", riff({chunkWithSize("LIST", 1000, Bytes(8)), chunk("fmt ", fmtBody(1, 1, 48000, 16)), data}), ""},
        {"too long after a sound data chunk", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16)), data, chunkWithSize("junk", 9, Bytes(8))}), ""},
        {"rate 7999", riff({chunk("fmt ", fmtBody(1, 1, 7999, 16)), data}), ""},
        {"rate 192001", riff({chunk("fmt ", fmtBody(1, 2, 192001, 16)), stereoData}), ""},
        {"rate 0", riff({chunk("fmt ", fmtBody(1, 1, 0, 16)), data}), ""},
    };
    for (const Case& c : cases) {
        const std::string in = write("in.wav", c.file);
        const std::string out = path("out.wav");
        const Result r = run({in, out});
        EXPECT_EQ(r.code, 2) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_FALSE(fs::exists(out)) << c.name;
    }
}

TEST_F(RenderTest, MissingInputReadsAsEmpty)
{
    const Result r = run({path("absent.wav"), path("out.wav")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, NotRiff);
    EXPECT_FALSE(fs::exists(path("out.wav")));
}

TEST_F(RenderTest, RefusedInputLeavesAnExistingOutputUntouched)
{
    const Bytes old{'k', 'e', 'e', 'p'};
    const std::string out = write("out.wav", old);
    const std::string in = write("in.wav", pcmFile({testSignal(300, 7999, 1)}, 7999));
    const Result r = run({in, out, "1", "classic"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(read(out), old);
}

// --- Chunk walk -------------------------------------------------------------------

TEST_F(RenderTest, ChunkLayoutsThatAreAccepted)
{
    const auto signal = testSignal(3000, 48000, 3);
    const Bytes fmt = chunk("fmt ", fmtBody(1, 1, 48000, 16));
    const Bytes data = chunk("data", pcmBody({signal}));
    const Bytes plain = render(riff({fmt, data}), {"0.7", "classic"});
    ASSERT_EQ(plain.size(), 44u + 6000u);

    Bytes riffSizeAnything = riff({fmt, data});
    riffSizeAnything[4] = riffSizeAnything[5] = riffSizeAnything[6] = riffSizeAnything[7] = 0xEE;
    Bytes trailingSeven = riff({fmt, data});
    trailingSeven.insert(trailingSeven.end(), 7, 0xAB);

    struct Case {
        const char* name;
        Bytes file;
    };
    const std::vector<Case> cases = {
        {"LIST before fmt", riff({chunk("LIST", Bytes(26, 'x')), fmt, data})},
        {"data before fmt", riff({data, fmt})},
        {"odd chunk with pad before fmt", riff({chunk("junk", Bytes(5, 1)), fmt, data})},
        {"odd last chunk without pad", riff({fmt, data, chunk("note", Bytes(3, 'z'), false)})},
        {"first fmt float, second PCM decides", riff({chunk("fmt ", fmtBody(3, 2, 44100, 32)), fmt, data})},
        {"first fmt stereo, second mono decides", riff({chunk("fmt ", fmtBody(1, 2, 22050, 16)), data, fmt})},
        {"short fmt ignored", riff({fmt, chunk("fmt ", Bytes(12, 0)), data})},
        {"fmt of 18 bytes", riff({chunk("fmt ", fmtBody(1, 1, 48000, 16, 2)), data})},
        {"earlier data replaced by the last", riff({chunk("data", Bytes(10, 0x55)), fmt, data})},
        {"RIFF size field ignored", riffSizeAnything},
        {"seven bytes after the last chunk", trailingSeven},
    };
    for (const Case& c : cases) {
        Result r;
        EXPECT_EQ(render(c.file, {"0.7", "classic"}, &r), plain) << c.name;
        EXPECT_EQ(r.out, summary(3000, 1440, true)) << c.name;
    }
}

TEST_F(RenderTest, ZeroLengthDataGivesAnEmptyFile)
{
    Result r;
    const Bytes out = render(riff({chunk("fmt ", fmtBody(1, 2, 44100, 16)), chunk("data", {})}), {}, &r);
    const Bytes want = riff({chunk("fmt ", fmtBody(1, 2, 44100, 16)), chunk("data", {})});
    EXPECT_EQ(out, want);
    EXPECT_EQ(out.size(), 44u);
    EXPECT_EQ(r.out.rfind("Rendered 0 frames; compensated ", 0), 0u) << r.out;
}

// --- Output file --------------------------------------------------------------------

TEST_F(RenderTest, HeaderIsTheFixed44Bytes)
{
    // The input carries an extended format chunk and a LIST chunk; the output
    // header is the plain one with the input's data size.
    const Bytes in = riff({chunk("LIST", Bytes(9, 'i')), chunk("fmt ", fmtBody(1, 2, 22050, 16, 4)),
                           chunk("data", pcmBody({testSignal(8, 22050, 1), testSignal(8, 22050, 2)}))});
    const Bytes out = render(in, {"1", "classic"});
    ASSERT_EQ(out.size(), 44u + 32u);
    const uint8_t want[44] = {'R', 'I', 'F', 'F', 68, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                              16, 0, 0, 0, 1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 0x01, 0,
                              4, 0, 16, 0, 'd', 'a', 't', 'a', 32, 0, 0, 0};
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 44), Bytes(want, want + 44));
}

// The program's bytes equal those of the same engine driven here in one call:
// the delay is dropped, blocks are fed in order, samples are converted.
TEST_F(RenderTest, OutputMatchesTheEngine)
{
    struct Case {
        uint32_t rate;
        int channels;
        std::vector<std::string> args;
        bool hasAmount;
        float amount;
        bool classic;
    };
    const std::vector<Case> cases = {
        {48000, 1, {}, false, 0.0f, false},
        {48000, 2, {"1", "classic"}, true, 1.0f, true},
        {48000, 1, {"0.3", "classic"}, true, 0.3f, true},
        {48000, 2, {"0"}, true, 0.0f, false},
        {44100, 2, {"0.5", "classic"}, true, 0.5f, true},
        {16000, 1, {}, false, 0.0f, false},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<int16_t>> ch;
        for (int k = 0; k < c.channels; ++k)
            ch.push_back(testSignal(c.rate, c.rate, static_cast<uint32_t>(k + 1)));  // one second, not a multiple of 256
        Result r;
        const Bytes out = render(pcmFile(ch, c.rate), c.args, &r);
        const Expected e = expectedOutput(ch, c.rate, c.hasAmount ? &c.amount : nullptr, c.classic);
        EXPECT_EQ(r.out, summary(c.rate, e.compensation, e.neural)) << c.rate << " Hz";
        EXPECT_TRUE(out == e.file) << c.rate << " Hz, " << c.channels << " channels, " << c.args.size() << " extra arguments";
    }
}

// Full-scale steps drive the cleaned signal beyond both ends: the largest
// sample written is 32766, the smallest -32768.
TEST_F(RenderTest, ClippedOutputUsesTheConversionLimits)
{
    std::vector<int16_t> square(9600);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 240) % 2 ? int16_t(-32768) : int16_t(32767);
    for (const char* mode : {"classic", "live"}) {
        const Bytes out = render(pcmFile({square}, 48000), {"0", mode});
        const auto s = samplesOf(out, 1)[0];
        ASSERT_EQ(s.size(), square.size());
        int hi = 0, lo = 0, max = -40000;
        for (int16_t v : s) {
            hi += v == 32766;
            lo += v == -32768;
            max = std::max<int>(max, v);
        }
        EXPECT_GT(hi, 0) << mode;
        EXPECT_GT(lo, 0) << mode;
        EXPECT_EQ(max, 32766) << mode;
    }
}

TEST_F(RenderTest, SummaryAndCompensation)
{
    struct Case {
        uint32_t rate;
        int channels;
        std::vector<std::string> args;
        uint64_t compensation;
    };
    const std::vector<Case> cases = {
        {48000, 1, {}, 95},
        {48000, 1, {"1", "classic"}, 1440},
        {48000, 2, {"0.5", "classic"}, 1440},
        {44100, 2, {}, 120},
        {44100, 1, {"1", "classic"}, 1356},
        {8000, 1, {}, 35},
        {192000, 2, {"1", "classic"}, 5848},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<int16_t>> ch(c.channels, testSignal(1000, c.rate, 1));
        Result r;
        const Bytes out = render(pcmFile(ch, c.rate), c.args, &r);
        EXPECT_EQ(r.out, summary(1000, c.compensation, true)) << c.rate << " Hz, " << c.args.size() << " extra arguments";
        EXPECT_EQ(out.size(), 44u + 2000u * c.channels);
    }
}

TEST_F(RenderTest, ClassicOnlyAsFourthArgumentAndAmountTexts)
{
    const Bytes in = pcmFile({testSignal(12000, 48000, 4), testSignal(12000, 48000, 5)}, 48000);
    Result r;
    const Bytes liveOne = render(in, {"1"}, &r);
    const std::string liveSummary = r.out;
    const Bytes liveZero = render(in, {"0"});
    EXPECT_NE(liveOne, liveZero) << "the amount must matter for these comparisons to mean anything";

    // "classic" as the third argument is an amount text (0), not a mode.
    EXPECT_EQ(render(in, {"classic"}, &r), liveZero);
    EXPECT_EQ(r.out, liveSummary);
    // Any fourth word other than exactly "classic" leaves Neural Live.
    for (const char* word : {"Classic", "classic ", "classicx", "live"}) {
        EXPECT_EQ(render(in, {"1", word}, &r), liveOne) << word;
        EXPECT_EQ(r.out, liveSummary) << word;
    }
    EXPECT_EQ(render(in, {}), liveOne);

    const Bytes classicOne = render(in, {"1", "classic"}, &r);
    EXPECT_EQ(r.out, summary(12000, 1440, true));
    const Bytes classicZero = render(in, {"0", "classic"});
    ASSERT_NE(classicOne, classicZero);
    struct Case {
        const char* text;
        const Bytes* same;
    };
    const Case cases[] = {
        {"2", &classicOne},     {"-1", &classicZero}, {"1e39", &classicOne}, {"-1e39", &classicOne},
        {"abc", &classicZero},  {"nan", &classicOne}, {"inf", &classicOne},  {"1.0xyz", &classicOne},
        {"", &classicZero},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(render(in, {c.text, "classic"}) == *c.same) << "amount text '" << c.text << "'";
    // An amount between the ends is used as it is.
    const Bytes half = render(in, {"0.5", "classic"});
    EXPECT_NE(half, classicOne);
    EXPECT_NE(half, classicZero);
}

TEST_F(RenderTest, OutputFailuresExitThree)
{
    const std::string in = write("in.wav", pcmFile({testSignal(2000, 48000, 1)}, 48000));
    const std::string missing = path("no-such-folder/out.wav");
    Result r = run({in, missing});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(path("no-such-folder")));

    // A device that takes no data: the failure shows only when written.
    if (fs::exists("/dev/full")) {
        r = run({in, "/dev/full", "1", "classic"});
        EXPECT_EQ(r.code, 3);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
}

// --- Very large inputs and memory ---------------------------------------------------

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer reserves far more address space than any limit below allows.
constexpr bool AddressSanitizer = true;
#else
constexpr bool AddressSanitizer = false;
#endif

constexpr uint64_t GiB = uint64_t{1} << 30;

// A sparse file of the given size whose holes read as zeros, with the given
// bytes written at their offsets: large files cost neither disk nor time.
void sparseFile(const std::string& p, uint64_t size, const std::vector<std::pair<uint64_t, Bytes>>& parts)
{
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [at, bytes] : parts)
        ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// RIFF header and a mono 48 kHz PCM16 "fmt " chunk: the first 36 bytes.
Bytes riffAndFormat()
{
    Bytes b;
    putTag(b, "RIFF");
    put32(b, 0xFFFFFFFFu);
    putTag(b, "WAVE");
    const Bytes fmt = chunk("fmt ", fmtBody(1, 1, 48000, 16));
    b.insert(b.end(), fmt.begin(), fmt.end());
    return b;
}

// A mono file whose "data" chunk of the given size follows the format.
void sparseWav(const std::string& p, uint64_t dataSize)
{
    Bytes head = riffAndFormat();
    const Bytes data = chunkWithSize("data", static_cast<uint32_t>(dataSize), {});
    head.insert(head.end(), data.begin(), data.end());
    sparseFile(p, head.size() + dataSize, {{0, head}});
}

// About 4.4 GB: a "JUNK" chunk of almost 4 GiB puts the "data" chunk's body
// beyond 2^32 bytes into the file.
void beyondRiffWav(const std::string& p)
{
    constexpr uint32_t Junk = 0xFFFFFF00u;
    const Bytes junk = chunkWithSize("JUNK", Junk, {});
    const Bytes data = chunkWithSize("data", 1u << 26, {});
    Bytes head = riffAndFormat();
    head.insert(head.end(), junk.begin(), junk.end());
    const uint64_t dataAt = head.size() + Junk;
    sparseFile(p, dataAt + data.size() + (1u << 26), {{0, head}, {dataAt, data}});
}

// A file mapped read-only: the chunk walk touches only the pages it reads.
struct Mapped {
    explicit Mapped(const std::string& p)
    {
        const int fd = ::open(p.c_str(), O_RDONLY);
        size = static_cast<uint64_t>(lseek(fd, 0, SEEK_END));
        void* m = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        data = m == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(m);
    }
    ~Mapped()
    {
        if (data)
            munmap(const_cast<uint8_t*>(data), size);
    }
    Mapped(const Mapped&) = delete;
    Mapped& operator=(const Mapped&) = delete;
    const uint8_t* data = nullptr;
    uint64_t size = 0;
};

// No RIFF file is larger than 4 GiB + 8 bytes. A larger file is refused
// before its bytes are read, so its data is never read at an offset cut to
// 32 bits and the program never holds gigabytes.
TEST_F(RenderTest, FileLargerThanAnyRiffFileIsRefusedUnread)
{
    const std::string in = path("huge.wav");
    beyondRiffWav(in);
    ASSERT_GT(fs::file_size(in), hushkit::MaxRiffFileSize);

    Bytes bytes{1, 2, 3};
    EXPECT_EQ(hushkit::readWavFile(in.c_str(), bytes), hushkit::WavCheck::NotRiffWave);
    EXPECT_TRUE(bytes.empty());
    {
        const Mapped m(in);
        ASSERT_NE(m.data, nullptr);
        hushkit::WavInfo info;
        EXPECT_EQ(hushkit::checkWav(m.data, m.size, info), hushkit::WavCheck::NotRiffWave);
    }

    const std::string out = path("out.wav");
    const Result r = run({in, out}, AddressSanitizer ? 0 : GiB);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, NotRiff);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out));
}

// The output header counts data size + 36 in 32 bits: the largest data chunk
// that a file of 4 GiB + 8 bytes can hold would wrap it and is refused; the
// largest accepted one still fits.
TEST_F(RenderTest, DataTooLargeForTheOutputHeaderIsRefused)
{
    struct Case {
        uint64_t dataSize;
        hushkit::WavCheck check;
    };
    const Case cases[] = {
        {(uint64_t{1} << 32) - 36, hushkit::WavCheck::NotRiffWave},
        {(uint64_t{1} << 32) - 38, hushkit::WavCheck::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataSize);
        const std::string in = path("big.wav");
        sparseWav(in, c.dataSize);
        const Mapped m(in);
        ASSERT_NE(m.data, nullptr);
        ASSERT_LE(m.size, hushkit::MaxRiffFileSize);
        hushkit::WavInfo info;
        ASSERT_EQ(hushkit::checkWav(m.data, m.size, info), c.check);
        if (c.check != hushkit::WavCheck::Ok)
            continue;
        EXPECT_EQ(info.dataOffset, 44u);
        EXPECT_EQ(info.frames, c.dataSize / 2);
        std::ostringstream header;
        hushkit::writeWavHeader(header, info.channels, info.sampleRate, info.dataSize);
        const std::string h = header.str();
        ASSERT_EQ(h.size(), 44u);
        uint32_t riffSize = 0;
        std::memcpy(&riffSize, h.data() + 4, 4);
        EXPECT_EQ(riffSize, c.dataSize + 36);
    }
}

// Memory that runs out, while the file is read or while its sample arrays are
// sized, ends the run with exit code 2 and a message, and no output file.
TEST_F(RenderTest, RunningOutOfMemoryExitsTwoWithAMessage)
{
    if (AddressSanitizer)
        GTEST_SKIP() << "the address space limit would stop the sanitizer itself";
    struct Case {
        const char* name;
        uint64_t dataSize;
        uint64_t addressSpace;
    };
    const Case cases[] = {
        {"file larger than the memory", 3 * GiB, 3 * GiB / 2},
        {"file read, sample arrays too large", 100u << 20, 400u << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = path("large.wav");
        sparseWav(in, c.dataSize);
        const std::string out = path("out.wav");
        const Result r = run({in, out}, c.addressSpace);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, "Not enough memory for this file\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out));
    }
}

// The engine's conversion tables (1025 rows of 32 floats) are the only
// allocations of this size for a short file; when they cannot be had the run
// ends like any other want of memory, and no output file is made. A rate that
// needs no tables renders as usual under the same condition, and a rate the
// engine refuses still ends without a message.
TEST_F(RenderTest, EngineWithoutMemoryForItsTablesExitsTwoWithAMessage)
{
    if (AddressSanitizer)
        GTEST_SKIP() << "the sanitizer's runtime must be the first library loaded";
    const Environment tablesFail{{"LD_PRELOAD", HUSHKIT_FAIL_LARGE_NEW},
                                 {"HUSHKIT_FAIL_NEW_FROM", std::to_string(1025 * 32 * sizeof(float))}};
    struct Case {
        const char* name;
        uint32_t rate;
        int channels;
        bool classic;
        int code;
        const char* err;
    };
    const Case cases[] = {
        {"44.1 kHz mono, live", 44100, 1, false, 2, "Not enough memory for this file\n"},
        {"22.05 kHz stereo, classic", 22050, 2, true, 2, "Not enough memory for this file\n"},
        {"48 kHz needs no tables", 48000, 2, false, 0, ""},
        {"a rate the engine refuses", 7999, 1, false, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<int16_t>> ch;
        for (int k = 0; k < c.channels; ++k)
            ch.push_back(testSignal(2000, c.rate, 5u + static_cast<uint32_t>(k)));
        const std::string in = write("in.wav", pcmFile(ch, c.rate));
        const std::string out = path("out.wav");
        fs::remove(out);
        std::vector<std::string> args{in, out};
        if (c.classic)
            args.insert(args.end(), {"1", "classic"});
        const Result r = run(args, 0, tablesFail);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(fs::exists(out), c.code == 0);
        if (c.code == 0) {
            const Bytes withTables = read(out);
            EXPECT_TRUE(render(pcmFile(ch, c.rate), {}) == withTables);
        }
    }
}

// --- Time alignment ---------------------------------------------------------------

// Lag of the largest cross-correlation between input and output, searched
// over a range wider than either configuration's delay.
long peakLag(const std::vector<int16_t>& x, const std::vector<int16_t>& y, long range)
{
    long best = 0;
    double bestValue = -1e300;
    for (long lag = -range; lag <= range; ++lag) {
        double sum = 0.0;
        for (long i = 0; i < static_cast<long>(x.size()); ++i) {
            const long j = i + lag;
            if (j >= 0 && j < static_cast<long>(y.size()))
                sum += static_cast<double>(x[i]) * y[j];
        }
        if (sum > bestValue) {
            bestValue = sum;
            best = lag;
        }
    }
    return best;
}

// Clean vowel-like bursts at 48 kHz, switched on abruptly at irregular
// places: glottal pulses with a gliding pitch, differentiated (no DC), through
// three formant resonators. Most of the energy lies well above the input
// high-pass, whose phase lead would otherwise pull the peak of a low,
// narrow-band signal a sample early.
std::vector<int16_t> vowelBursts(size_t frames)
{
    constexpr double pi = 3.14159265358979323846;
    const double onsets[] = {0.05, 0.31, 0.48, 0.83, 1.02, 1.37};
    const double lengths[] = {0.17, 0.12, 0.26, 0.11, 0.22, 0.18};
    struct Resonator {
        double a1, a2, y1 = 0.0, y2 = 0.0;
        Resonator(double f, double bw)
        {
            const double r = std::exp(-pi * bw / 48000.0);
            a1 = 2.0 * r * std::cos(2.0 * pi * f / 48000.0);
            a2 = -r * r;
        }
        double step(double x)
        {
            const double y = x + a1 * y1 + a2 * y2;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    Resonator f1(700.0, 130.0), f2(1200.0, 150.0), f3(2600.0, 200.0);
    std::vector<int16_t> s(frames);
    double phase = 0.0, previous = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        bool on = false;
        for (size_t b = 0; b < 6; ++b)
            on = on || (t >= onsets[b] && t < onsets[b] + lengths[b]);
        phase += (110.0 + 40.0 * std::sin(2.0 * pi * 2.3 * t)) / 48000.0;
        double pulse = 0.0;
        if (phase >= 1.0) {
            phase -= 1.0;
            pulse = on ? 1.0 : 0.0;
        }
        const double e = pulse - previous;
        previous = pulse;
        const double v = f1.step(e) * 0.05 + f2.step(e) * 0.04 + f3.step(e) * 0.03;
        s[i] = static_cast<int16_t>(std::lround(std::max(-1.0, std::min(v, 0.99)) * 32767.0));
    }
    return s;
}

TEST_F(RenderTest, CleanedOutputIsTimeAlignedWithTheInput)
{
    const std::vector<int16_t> x = vowelBursts(72000);
    for (const char* mode : {"live", "classic"}) {
        Result r;
        const Bytes out = render(pcmFile({x}, 48000), {"1", mode}, &r);
        EXPECT_EQ(r.out, summary(x.size(), std::string(mode) == "live" ? 95 : 1440, true)) << mode;
        const auto y = samplesOf(out, 1)[0];
        ASSERT_EQ(y.size(), x.size());
        double energy = 0.0;
        for (int16_t v : y)
            energy += static_cast<double>(v) * v;
        EXPECT_GT(energy, 0.0) << mode << ": the cleaned output is silent";
        EXPECT_EQ(peakLag(x, y, 2000), 0) << mode;
    }
}

} // namespace
