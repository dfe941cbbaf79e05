// The Linux module beyond what module_host_test.cpp checks on every platform:
// its raw entry points, the heap it leaves behind, and the processor classes'
// fallback modes.

#include "module_host.h"

#include "alloc_counter.h"
#include "state_record_bytes.h"

#include <ostream>

using namespace hushkit::module_test;

namespace {

long heapObjects() { return hushkit::test::liveObjects(); }

// A component state record of version 1 (no mode): the nine defaults.
std::vector<uint8_t> versionOneRecord()
{
    return hushkit::test::recordBytes(1, std::vector<float>(hushkit::Defaults, hushkit::Defaults + hushkit::EngineParamCount));
}

TEST(ModuleFactory, ClassIdentifiersShareAllButTheLowestByte)
{
    // The four identifiers round-trip through the SDK's 16-byte form to the
    // same words, share words 2 to 4 and the upper 24 bits of word 1, and count
    // 1 to 4 in the lowest byte.
    const hushkit::ClassWords all[4] = {hushkit::ProcessorWords, hushkit::ControllerWords, hushkit::LiveWords,
                                        hushkit::NeuralLiveWords};
    for (uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const FUID id = FUID::fromTUID(classId(all[i]).toTUID());
        uint32 w[4];
        id.to4Int(w[0], w[1], w[2], w[3]);
        EXPECT_EQ(w[0], all[i].w0);
        EXPECT_EQ(w[0] & 0xFFu, i + 1);
        EXPECT_EQ(w[0] & 0xFFFFFF00u, all[0].w0 & 0xFFFFFF00u);
        EXPECT_EQ(w[1], all[0].w1);
        EXPECT_EQ(w[2], all[0].w2);
        EXPECT_EQ(w[3], all[0].w3);
    }
}

TEST(ModuleFactory, WrongInterfaceLeavesNoObjectAlive)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    IPluginFactory* factory = module->getFactory().get();

    struct Case {
        const char* what;
        hushkit::ClassWords cls;
        const FUID& wrongIid;
        const FUID& rightIid;
    };
    const Case cases[] = {
        {"controller as processor", hushkit::ControllerWords, IAudioProcessor::iid, IEditController::iid},
        {"live processor as controller", hushkit::LiveWords, IEditController::iid, IAudioProcessor::iid},
        {"neural live processor as controller", hushkit::NeuralLiveWords, IEditController::iid,
         IAudioProcessor::iid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The right interface gives an object that the heap measure sees.
        void* obj = nullptr;
        ASSERT_EQ(factory->createInstance(classId(c.cls).toTUID(), c.rightIid.toTUID(), &obj), kResultOk);
        const long withObject = heapObjects();
        static_cast<FUnknown*>(obj)->release();
        const long before = heapObjects();
        EXPECT_LT(before, withObject);

        obj = &obj;
        EXPECT_NE(factory->createInstance(classId(c.cls).toTUID(), c.wrongIid.toTUID(), &obj), kResultOk);
        EXPECT_EQ(obj, nullptr);
        EXPECT_EQ(heapObjects(), before);
    }
}


// The unlisted processor classes: each starts in Neural Classic; a state
// without a mode then stands for its own fallback mode.
struct FallbackCase {
    const char* name;
    hushkit::ClassWords cls;
    hushkit::Mode fallback;
    uint32 latencyAt48k;
};
void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }

class ModuleFallbackMode : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(ModuleFallbackMode, StartsInNeuralClassicAndVersionOneStateRequestsTheFallback)
{
    const FallbackCase& c = GetParam();
    Session s;
    ASSERT_TRUE(s.createProcessor(c.cls));
    EXPECT_EQ(s.processor->getLatencySamples(), 1440u);
    ASSERT_TRUE(s.setupAndActivate());
    EXPECT_EQ(s.processor->getLatencySamples(), 1440u);

    // The first block reports Neural Classic as the active mode.
    ASSERT_EQ(s.processSilentBlock(), kResultOk);
    auto first = s.reported();
    ASSERT_TRUE(first.count(hushkit::ProcessingMode));
    EXPECT_EQ(first[hushkit::ProcessingMode].second, 0.5);
    EXPECT_EQ(first[hushkit::ParamId::NeuralActive].second, 1.0);

    auto record = versionOneRecord();
    MemoryStream in(record.data(), static_cast<TSize>(record.size()));
    ASSERT_EQ(s.component->setState(&in), kResultOk);
    EXPECT_EQ(s.processor->getLatencySamples(), c.latencyAt48k);

    MemoryStream out;
    ASSERT_EQ(s.component->getState(&out), kResultOk);
    int64 size = 0;
    out.tell(&size);
    ASSERT_EQ(size, 44);
    float modeValue = -1.0f;
    std::memcpy(&modeValue, out.getData() + 40, 4);
    EXPECT_EQ(modeValue, static_cast<float>(c.fallback) * 0.5f);

    // The next block switches to the requested mode and reports it.
    ASSERT_EQ(s.processSilentBlock(), kResultOk);
    auto next = s.reported();
    if (c.fallback == hushkit::Mode::NeuralClassic) {
        EXPECT_EQ(next.count(hushkit::ProcessingMode), 0u);
    } else {
        ASSERT_TRUE(next.count(hushkit::ProcessingMode));
        EXPECT_EQ(next[hushkit::ProcessingMode], std::make_pair(BlockSize - 1, static_cast<int32>(c.fallback) * 0.5));
    }
    EXPECT_EQ(next[hushkit::ParamId::NeuralActive].second, c.fallback == hushkit::Mode::LiveDsp ? 0.0 : 1.0);
}

INSTANTIATE_TEST_SUITE_P(Classes, ModuleFallbackMode,
                         ::testing::Values(FallbackCase{"Processor", hushkit::ProcessorWords,
                                                        hushkit::Mode::NeuralClassic, 1440},
                                           FallbackCase{"Live", hushkit::LiveWords, hushkit::Mode::LiveDsp, 0},
                                           FallbackCase{"NeuralLive", hushkit::NeuralLiveWords,
                                                        hushkit::Mode::NeuralLive, 95}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });


} // namespace
