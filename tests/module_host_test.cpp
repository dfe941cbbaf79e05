// The module's factory and a host session cleaning a voice-plus-noise
// recording, checked against an engine that the test runs directly with the
// same input and automation. Part of the module tests on every platform.

#include "module_host.h"

#include <ostream>

using namespace hushkit::module_test;

namespace {

// ---------------------------------------------------------------------------
// Factory information and class listing

TEST(ModuleFactory, ListsFactoryInfoAndExactlyTwoClasses)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    const auto& factory = module->getFactory();

    auto info = factory.info();
    EXPECT_EQ(info.vendor(), "Hushkit");
    EXPECT_EQ(info.url(), "");
    EXPECT_EQ(info.email(), "");
    EXPECT_EQ(info.flags(), PFactoryInfo::kUnicode);
    EXPECT_EQ(info.flags(), 16);

    ASSERT_EQ(factory.classCount(), 2u);
    FUnknownPtr<IPluginFactory2> factory2(factory.get());
    ASSERT_TRUE(factory2);

    struct Expected {
        hushkit::ClassWords words;
        const char* category;
        const char* name;
        uint32 flags;
        const char* subCategories;
    };
    const Expected expected[2] = {
        {hushkit::ProcessorWords, "Audio Module Class", "Hushkit", 1, "Fx|Restoration"},
        {hushkit::ControllerWords, "Component Controller Class", "Hushkit Controller", 0, ""},
    };
    for (int32 i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        PClassInfo2 c{};
        ASSERT_EQ(factory2->getClassInfo2(i, &c), kResultOk);
        EXPECT_EQ(std::memcmp(c.cid, classId(expected[i].words).toTUID(), sizeof(TUID)), 0);
        EXPECT_EQ(c.cardinality, 0x7FFFFFFF);
        EXPECT_EQ(str(c.category), expected[i].category);
        EXPECT_EQ(str(c.name), expected[i].name);
        EXPECT_EQ(c.classFlags, expected[i].flags);
        EXPECT_EQ(str(c.subCategories), expected[i].subCategories);
        EXPECT_EQ(str(c.vendor), "");
        EXPECT_EQ(str(c.version), "0.7.4");
        // The SDK the module was built with.
        EXPECT_EQ(str(c.sdkVersion), kVstVersionString);
        EXPECT_EQ(str(c.sdkVersion), "VST 3.7.10");

        PClassInfo c1{};
        ASSERT_EQ(factory.get()->getClassInfo(i, &c1), kResultOk);
        EXPECT_EQ(std::memcmp(c1.cid, c.cid, sizeof(TUID)), 0);
        EXPECT_EQ(str(c1.name), expected[i].name);
    }
    PClassInfo2 none{};
    EXPECT_NE(factory2->getClassInfo2(2, &none), kResultOk);
}

TEST(ModuleFactory, OneFactoryPerProcessUntilTheLastRelease)
{
    RawModule raw;
    ASSERT_TRUE(raw.loaded());
    ASSERT_TRUE(raw.getFactory && raw.entry && raw.exit);
    ASSERT_TRUE(raw.enter());

    IPluginFactory* first = raw.getFactory();
    IPluginFactory* second = raw.getFactory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->release(), 1u);
    EXPECT_EQ(first->release(), 0u);  // destroyed here

    // A new factory, holding only the caller's reference, that lists the two
    // classes again.
    IPluginFactory* third = raw.getFactory();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->addRef(), 2u);
    EXPECT_EQ(third->release(), 1u);
    EXPECT_EQ(third->countClasses(), 2);
    PClassInfo c{};
    ASSERT_EQ(third->getClassInfo(0, &c), kResultOk);
    EXPECT_EQ(str(c.name), "Hushkit");
    ASSERT_EQ(third->getClassInfo(1, &c), kResultOk);
    EXPECT_EQ(str(c.name), "Hushkit Controller");
    EXPECT_EQ(third->release(), 0u);

    EXPECT_TRUE(raw.exit());
}

TEST(ModuleFactory, NullArgumentsAreInvalid)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    IPluginFactory* factory = module->getFactory().get();

    // Listed and unlisted classes alike: nothing created, nothing written.
    const FUID classes[] = {classId(hushkit::ProcessorWords), classId(hushkit::ControllerWords),
                            classId(hushkit::LiveWords), classId(hushkit::NeuralLiveWords)};
    for (const FUID& cls : classes) {
        void* sentinel = &sentinel;
        void* obj = sentinel;
        EXPECT_EQ(factory->createInstance(nullptr, IComponent::iid.toTUID(), &obj), kInvalidArgument);
        EXPECT_EQ(factory->createInstance(cls.toTUID(), nullptr, &obj), kInvalidArgument);
        EXPECT_EQ(obj, sentinel);
        EXPECT_EQ(factory->createInstance(cls.toTUID(), IComponent::iid.toTUID(), nullptr), kInvalidArgument);
    }
}

TEST(ModuleFactory, UnknownClassIsRefused)
{
    auto module = loadBundle();
    ASSERT_TRUE(module);
    void* obj = nullptr;
    const FUID unknown(0x48534B05u, hushkit::ProcessorWords.w1, hushkit::ProcessorWords.w2, hushkit::ProcessorWords.w3);
    EXPECT_NE(module->getFactory().get()->createInstance(unknown.toTUID(), IComponent::iid.toTUID(), &obj),
              kResultOk);
    EXPECT_EQ(obj, nullptr);
}

// The controller's view: the editor for the name "editor" in the Windows
// module, which holds the editor; none for any other name, and none at all in
// the Linux module.
TEST(ModuleController, EditorViewOnlyInTheWindowsModule)
{
    Session s;
    ASSERT_TRUE(s.createProcessor(hushkit::ProcessorWords));
    ASSERT_TRUE(s.createAndConnectController());
#ifdef _WIN32
    const bool windows = true;
#else
    const bool windows = false;
#endif
    const struct {
        const char* name;
        bool view;
    } cases[] = {{"editor", windows}, {"Editor", false}, {"editor ", false}, {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        IPtr<IPlugView> view = owned(s.controller->createView(c.name));
        ASSERT_EQ(view != nullptr, c.view);
        if (view) {
            EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
            ViewRect size;
            EXPECT_EQ(view->getSize(&size), kResultOk);
            EXPECT_EQ(size.getWidth(), 760);
            EXPECT_EQ(size.getHeight(), 480);
        }
    }
}

struct ModeCase {
    const char* name;
    hushkit::Mode mode;
    bool neural;
    bool live;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class ModuleHostRun : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModuleHostRun, AutomatedVoiceMatchesTheEngineBitForBit)
{
    const ModeCase& m = GetParam();
    const double modeValue = static_cast<int32>(m.mode) * 0.5;

    Session s;
    ASSERT_TRUE(s.createProcessor(hushkit::ProcessorWords));
    ASSERT_TRUE(s.createAndConnectController());
    ASSERT_TRUE(s.passStateToController());
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ProcessingMode), 0.5);
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ParamId::CleanAmount), 1.0);

    // The mode chosen in the controller reaches the processor through the
    // connection, and the processor's answer comes back to the controller.
    ASSERT_EQ(s.controller->setParamNormalized(hushkit::ProcessingMode, modeValue), kResultOk);
    EXPECT_EQ(s.controller->getParamNormalized(hushkit::ProcessingMode), modeValue);

    ASSERT_TRUE(s.setupAndActivate());

    hushkit::Engine reference;
    ASSERT_TRUE(reference.prepare(Rate, 2, m.neural, m.live));
    for (uint32_t k = 0; k < hushkit::EngineParamCount; ++k)
        reference.set(k, hushkit::Defaults[k]);
    reference.resetRealtime();
    const uint32 expectedLatency = reference.neuralActive ? static_cast<uint32>(reference.latency) : 0u;
    EXPECT_EQ(s.processor->getLatencySamples(), expectedLatency);

    const auto input = voicePlusNoise();
    const size_t length = input[0].size();
    const auto automation = cleanAmountAutomation(length);
    std::vector<std::vector<float>> expected(2, std::vector<float>(length, 0.0f));

    size_t next = 0;  // next automation point
    size_t differing = 0;
    for (size_t block = 0; block * BlockSize < length; ++block) {
        const int64_t blockStart = static_cast<int64_t>(block * BlockSize);
        SCOPED_TRACE(block);

        // This block's automation, as the host's queue for parameter 0.
        s.inChanges.clearQueue();
        s.outChanges.clearQueue();
        std::vector<Automation> points;
        while (next < automation.size() && automation[next].sample < blockStart + BlockSize)
            points.push_back(automation[next++]);
        if (!points.empty()) {
            int32 index = 0;
            IParamValueQueue* q = s.inChanges.addParameterData(hushkit::ParamId::CleanAmount, index);
            ASSERT_NE(q, nullptr);
            for (const Automation& p : points)
                q->addPoint(static_cast<int32>(p.sample - blockStart), p.value, index);
        }
        for (int32 c = 0; c < 2; ++c) {
            std::copy_n(input[c].data() + blockStart, BlockSize, s.data.inputs[0].channelBuffers32[c]);
            std::fill_n(s.data.outputs[0].channelBuffers32[c], BlockSize, 1234.0f);
        }
        s.data.inputs[0].silenceFlags = 0;
        ASSERT_EQ(s.processor->process(s.data), kResultOk);

        // The engine alone: the same block with each change applied before
        // the sample at its offset.
        Meters meters;
        int32 start = 0;
        size_t p = 0;
        while (start < BlockSize) {
            while (p < points.size() && points[p].sample - blockStart <= start)
                reference.set(hushkit::ParamId::CleanAmount, static_cast<float>(points[p++].value));
            const int32 end = p < points.size() ? static_cast<int32>(points[p].sample - blockStart) : BlockSize;
            const float* in[2] = {input[0].data() + blockStart + start, input[1].data() + blockStart + start};
            float* out[2] = {expected[0].data() + blockStart + start, expected[1].data() + blockStart + start};
            reference.process(in, out, 2, end - start);
            meters.gather(reference);
            start = end;
        }

        for (int32 c = 0; c < 2; ++c) {
            const float* got = s.data.outputs[0].channelBuffers32[c];
            const float* want = expected[c].data() + blockStart;
            if (std::memcmp(got, want, BlockSize * sizeof(float)) != 0)
                ++differing;
        }
        EXPECT_EQ(s.data.outputs[0].silenceFlags, 0u);

        // The meters as output parameter changes at the block's last sample;
        // the mode only in the first block.
        auto r = s.reported();
        const std::map<ParamID, double> want = {
            {hushkit::ParamId::InputPeak, std::min(static_cast<double>(meters.inputPeak), 1.0)},
            {hushkit::ParamId::OutputPeak, meters.outputPeak < 1.0f ? static_cast<double>(meters.outputPeak) : 1.0},
            {hushkit::ParamId::Reduction, meters.reduction < 1.0f ? static_cast<double>(meters.reduction) : 1.0},
            {hushkit::ParamId::NeuralActive, reference.neuralActive ? (meters.fault ? 0.75 : 1.0) : 0.0},
            {hushkit::ParamId::Clipping, meters.clipped ? 1.0 : 0.0},
        };
        ASSERT_EQ(r.size(), block == 0 ? 6u : 5u);
        for (const auto& [id, value] : want) {
            ASSERT_TRUE(r.count(id)) << "meter " << id;
            EXPECT_EQ(r[id].first, BlockSize - 1) << "meter " << id;
            EXPECT_EQ(r[id].second, value) << "meter " << id;
        }
        if (block == 0) {
            ASSERT_TRUE(r.count(hushkit::ProcessingMode));
            EXPECT_EQ(r[hushkit::ProcessingMode], std::make_pair(BlockSize - 1, modeValue));
        }
    }
    EXPECT_EQ(differing, 0u) << "channel blocks that differ from the engine's output";

    // The run did real work: the output is not the input, and the voice is
    // still there.
    double energyIn = 0.0, energyOut = 0.0, change = 0.0;
    for (size_t i = 0; i < length; ++i) {
        energyIn += double(input[0][i]) * input[0][i];
        energyOut += double(expected[0][i]) * expected[0][i];
        change += std::fabs(double(expected[0][i]) - input[0][i]);
    }
    EXPECT_GT(energyOut, 0.01 * energyIn);
    EXPECT_GT(change, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModuleHostRun,
                         ::testing::Values(ModeCase{"NeuralLive", hushkit::Mode::NeuralLive, true, true},
                                           ModeCase{"NeuralClassic", hushkit::Mode::NeuralClassic, true, false},
                                           ModeCase{"LiveDsp", hushkit::Mode::LiveDsp, false, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

} // namespace
