// The block path neither allocates nor locks, and a setup that runs out of
// memory is refused. Allocations are counted by the
// replaced allocation functions of alloc_counter.cpp; on Linux builds without
// a sanitizer this program also counts pthread mutex locks while process runs.

#include "alloc_counter.h"
#include "processor_host.h"

#include <gtest/gtest.h>

#include <atomic>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define HUSHKIT_COUNT_LOCKS 1
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace {
using hushkit::test::allocations;
using hushkit::test::countingAllocations;
using hushkit::test::failingAllocation;
std::atomic<long> locks{0};
} // namespace

#ifdef HUSHKIT_COUNT_LOCKS
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    using Lock = int (*)(pthread_mutex_t*);
    static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (countingAllocations.load(std::memory_order_relaxed))
        locks.fetch_add(1, std::memory_order_relaxed);
    return real(mutex);
}
#endif

using namespace hushkit;
using namespace hushkit::test;

namespace {

struct Counted {
    long allocations;
    long locks;
};

Counted countProcess(Host& host, int frames)
{
    host.bind(frames);
    allocations = 0;
    locks = 0;
    countingAllocations = true;
    const tresult result = host.processor->process(host.data);
    countingAllocations = false;
    EXPECT_EQ(result, kResultOk);
    host.inChanges.clearQueue();
    return {allocations.load(), locks.load()};
}

TEST(ProcessorAllocation, CounterSeesAllocations)
{
    countingAllocations = true;
    allocations = 0;
    auto* p = new int(3);
    countingAllocations = false;
    delete p;
    EXPECT_EQ(allocations.load(), 1);
#ifdef HUSHKIT_COUNT_LOCKS
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    locks = 0;
    countingAllocations = true;
    pthread_mutex_lock(&mutex);
    countingAllocations = false;
    pthread_mutex_unlock(&mutex);
    EXPECT_EQ(locks.load(), 1);
#endif
}

TEST(ProcessorAllocation, BlockPathAllocatesNothingAndTakesNoLock)
{
    for (double rate : {48000.0, 44100.0}) {
        SCOPED_TRACE(rate);
        Host host;
        ASSERT_TRUE(host.start(rate, 512));
        for (int c = 0; c < 2; ++c)
            host.in[c] = voiceLike(512, 3u + static_cast<unsigned>(c), NoisyVoice);
        ASSERT_EQ(host.run(512), kResultOk);  // the host's own queues are set up here

        // Each block: a mode switch, changes at several offsets, and a state
        // loaded on the main thread beforehand.
        const double modes[] = {0.0, 1.0, 0.5, 0.0, 0.5};
        for (double mode : modes) {
            SCOPED_TRACE(mode);
            ASSERT_EQ(loadState(*host.processor, recordBytes(2, {0.9f, 0.1f, 0.8f, 0.2f, 0.3f, 0.9f, 0.5f, 0.0f,
                                                                0.5f, static_cast<float>(mode)})),
                      kResultOk);
            host.addChange(ParamId::ProcessingMode, 0, mode);
            host.addChange(ParamId::CleanAmount, 0, 0.7);
            host.addChange(ParamId::CleanAmount, 128, 0.2);
            host.addChange(ParamId::CleanupProfile, 300, 1.0);
            host.addChange(ParamId::OutputGain, 511, 0.6);
            const Counted counted = countProcess(host, 512);
            EXPECT_EQ(counted.allocations, 0);
            EXPECT_EQ(counted.locks, 0);
        }
    }
}

// Each allocation of a 44.1 kHz setup in turn runs out of memory (the two
// neural engines' conversion tables): the setup is refused, and the next one
// with memory to spare succeeds.
TEST(ProcessorAllocation, SetupThatRunsOutOfMemoryIsRefused)
{
    int failures = 0;
    for (long n = 1; n <= 16; ++n) {
        SCOPED_TRACE(n);
        Host host;
        SpeakerArrangement arr = SpeakerArr::kStereo;
        ASSERT_EQ(host.processor->setBusArrangements(&arr, 1, &arr, 1), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
        failingAllocation = n;
        const tresult result = host.processor->setupProcessing(setup);
        if (failingAllocation.exchange(0) != 0) {
            EXPECT_EQ(result, kResultOk);
            break;
        }
        ++failures;
        EXPECT_EQ(result, kResultFalse);
        EXPECT_EQ(host.processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(host.processor->getLatencySamples(), 1356u);
    }
    EXPECT_EQ(failures, 4);
}

} // namespace
