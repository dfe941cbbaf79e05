// setState and getState on one thread while another runs process with
// parameter changes: free of data races (run under ThreadSanitizer by the
// test script), with every value arriving whole and the last writer winning.

#include "processor_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace hushkit;
using namespace hushkit::test;

namespace {

// The values that any writer may store; a read value outside this set
// would be torn or invented.
constexpr float StateValues[2] = {0.25f, 0.75f};
constexpr float BlockValue = 0.5f;

bool known(float v)
{
    if (v == StateValues[0] || v == StateValues[1] || v == BlockValue)
        return true;
    for (float d : Defaults)
        if (v == d)
            return true;
    return false;
}

TEST(ProcessorThreads, StateCallsDuringProcessing)
{
    Host host;
    ASSERT_TRUE(host.start(48000.0, 128));
    for (int c = 0; c < 2; ++c)
        host.in[c] = voiceLike(128, 5u + static_cast<unsigned>(c), NoisyVoice);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        int i = 0;
        while (!stop.load()) {
            host.addChange(static_cast<ParamID>(i % EngineParamCount), (i * 37) % 128, BlockValue);
            host.addChange(ParamId::ProcessingMode, 0, (i % 3) * 0.5);
            host.run(128);
            ++i;
            blocks.store(i);
        }
    });

    int bad = 0;
    const int rounds = 1000;
    for (int r = 0; r < rounds || blocks.load() < 50; ++r) {
        const float v = StateValues[r % 2];
        std::vector<float> values(EngineParamCount, v);
        values.push_back(static_cast<float>((r % 3) * 0.5));
        EXPECT_EQ(loadState(*host.processor, recordBytes(2, values)), kResultOk);
        const auto bytes = stateBytes(*host.processor);
        ASSERT_EQ(bytes.size(), 44u);
        for (int k = 0; k < EngineParamCount; ++k) {
            float read = 0.0f;
            std::memcpy(&read, bytes.data() + 4 + 4 * k, 4);
            if (!known(read))
                ++bad;
        }
        host.processor->getLatencySamples();
    }
    // The main thread writes last.
    std::vector<float> last = {0.11f, 0.22f, 0.33f, 0.44f, 0.55f, 0.66f, 0.77f, 0.88f, 0.99f, 1.0f};
    ASSERT_EQ(loadState(*host.processor, recordBytes(2, last)), kResultOk);
    const int seen = blocks.load();
    while (blocks.load() < seen + 2)
        std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(bad, 0);

    // The main thread's values took effect where no block change came after
    // them; the block changes that did come after win. Either way params and
    // the active engine agree once the next block has started (the idle
    // engines take params when they become active).
    ASSERT_EQ(host.run(128), kResultOk);
    Processor& p = *host.processor;
    EXPECT_EQ(p.activeMode, p.requestedMode.load());
    for (int k = 0; k < EngineParamCount; ++k) {
        const float v = p.params[k].load();
        EXPECT_TRUE(v == last[static_cast<size_t>(k)] || v == BlockValue) << k << ": " << v;
        EXPECT_EQ(p.engines[p.activeMode].target[k], v) << k;
    }
}

} // namespace
