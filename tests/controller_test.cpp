#include "Controller.h"
#include "Language.h"
#include "Processor.h"
#include "Types.h"
#include "state_record_bytes.h"

#include "base/source/fobject.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/common/pluginview.h"
#include "public.sdk/source/vst/hosting/connectionproxy.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using hushkit::Controller;
namespace i18n = hushkit::i18n;

namespace {

// The host's component handler: records every call in order, and for
// performEdit also the value that the controller holds at that moment.
class RecordingHandler : public FObject, public IComponentHandler {
public:
    struct Call {
        char kind; // 'b'egin, 'p'erform, 'e'nd, 'r'estart
        ParamID id;
        ParamValue value;
        ParamValue held;
        int32 flags;
    };

    IEditController* controller = nullptr;
    std::vector<Call> calls;

    tresult PLUGIN_API beginEdit(ParamID id) override
    {
        calls.push_back({'b', id, 0, 0, 0});
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        calls.push_back({'p', id, value, controller ? controller->getParamNormalized(id) : -1.0, 0});
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID id) override
    {
        calls.push_back({'e', id, 0, 0, 0});
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        calls.push_back({'r', 0, 0, 0, flags});
        return kResultOk;
    }

    std::vector<int32> restarts() const
    {
        std::vector<int32> flags;
        for (const Call& c : calls)
            if (c.kind == 'r')
                flags.push_back(c.flags);
        return flags;
    }

    OBJ_METHODS(RecordingHandler, FObject)
    DEFINE_INTERFACES
        DEF_INTERFACE(IComponentHandler)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)
};

// Stands in for the connected processor: records the messages it receives.
class RecordingPeer : public FObject, public IConnectionPoint {
public:
    struct Message {
        std::string id;
        bool hasMode;
        int64 mode;
    };
    std::vector<Message> received;

    tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API notify(IMessage* message) override
    {
        int64 mode = 0;
        const bool hasMode = message->getAttributes()->getInt("mode", mode) == kResultOk;
        received.push_back({message->getMessageID(), hasMode, mode});
        return kResultOk;
    }

    OBJ_METHODS(RecordingPeer, FObject)
    DEFINE_INTERFACES
        DEF_INTERFACE(IConnectionPoint)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)
};

std::u16string title(IEditController* controller, int32 index, bool shortTitle = false)
{
    ParameterInfo info{};
    EXPECT_EQ(controller->getParameterInfo(index, info), kResultOk);
    return shortTitle ? std::u16string(info.shortTitle) : std::u16string(info.title);
}

std::u16string valueText(IEditController* controller, ParamID id, ParamValue value)
{
    String128 text{};
    EXPECT_EQ(controller->getParamStringByValue(id, value, text), kResultOk);
    return text;
}

// A state record as the processor writes it: version, then float values.
IPtr<MemoryStream> record(uint32 version, const std::vector<float>& values)
{
    return hushkit::test::streamOf(hushkit::test::recordBytes(version, values));
}

IPtr<IMessage> modeState(const char* id, const int64* mode)
{
    IPtr<IMessage> message = owned(new HostMessage);
    message->setMessageID(id);
    if (mode)
        message->getAttributes()->setInt("mode", *mode);
    return message;
}

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

const ParamID allIds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100, 101, 102, 103, 104};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        i18n::setLanguage(i18n::English, false);
        ASSERT_EQ(controller->initialize(hostContext()), kResultOk);
        handler->controller = controller;
        ASSERT_EQ(controller->setComponentHandler(handler), kResultOk);
        ASSERT_EQ(controller->connect(peer), kResultOk);
    }
    void TearDown() override
    {
        controller->disconnect(peer);
        controller->terminate();
    }

    FUnknown* hostContext() { return static_cast<IHostApplication*>(&host); }

    std::vector<ParamValue> values() const
    {
        std::vector<ParamValue> v;
        for (ParamID id : allIds)
            v.push_back(controller->getParamNormalized(id));
        return v;
    }

    void clear()
    {
        handler->calls.clear();
        peer->received.clear();
    }

    // The SDK's host application is not reference counted: it lives as a plain object.
    HostApplication host;
    IPtr<Controller> controller = owned(new Controller);
    IPtr<RecordingHandler> handler = owned(new RecordingHandler);
    IPtr<RecordingPeer> peer = owned(new RecordingPeer);
};

struct Row {
    ParamID id;
    const char16_t* units;
    int32 stepCount;
    int32 flags;
    double defaultValue;
    double plain, normalized; // one point of the plain-to-normalized mapping
};

const Row table[] = {
    {0, u"%", 0, 1, 1.0, 25.0, 0.25},
    {1, u"%", 0, 1, 0.0, 50.0, 0.5},
    {2, u"%", 0, 1, 1.0, 100.0, 1.0},
    {3, u"%", 0, 1, 0.0, 0.0, 0.0},
    {4, u"Hz", 0, 1, 0.1, 180.0, 1.0},
    {5, u"%", 0, 1, 1.0, 75.0, 0.75},
    {6, u"dB", 0, 1, 0.5, -18.0, 0.0},
    {7, u"", 1, 0x10001, 0.0, 1.0, 1.0},
    {8, u"", 2, 9, 0.5, 2.0, 1.0},
    {9, u"", 2, 8, 0.5, 1.0, 0.5},
    {100, u"", 0, 2, 0.0, 0.3, 0.3},
    {101, u"", 0, 2, 0.0, 0.3, 0.3},
    {102, u"", 0, 2, 0.0, 0.3, 0.3},
    {103, u"", 0, 2, 0.5, 0.3, 0.3},
    {104, u"", 0, 2, 0.0, 0.3, 0.3},
};

TEST(ControllerParameters, TableInEveryLanguage)
{
    for (int language = 0; language < i18n::LanguageCount; ++language) {
        SCOPED_TRACE("language " + std::to_string(language));
        i18n::setLanguage(language, false);
        HostApplication host;
        auto controller = owned(new Controller);
        ASSERT_EQ(controller->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        ASSERT_EQ(controller->getParameterCount(), 15);

        for (int32 index = 0; index < 15; ++index) {
            const Row& row = table[index];
            SCOPED_TRACE("index " + std::to_string(index));
            ParameterInfo info{};
            ASSERT_EQ(controller->getParameterInfo(index, info), kResultOk);
            EXPECT_EQ(info.id, row.id);
            const int key = row.id < 100 ? int(row.id) : int(row.id) - 90;
            const std::u16string expected = i18n::catalog[key][language].utf16;
            EXPECT_EQ(std::u16string(info.title), expected);
            EXPECT_EQ(std::u16string(info.shortTitle), expected);
            EXPECT_EQ(std::u16string(info.units), row.units);
            EXPECT_EQ(info.stepCount, row.stepCount);
            EXPECT_EQ(info.flags, row.flags);
            EXPECT_EQ(info.unitId, kRootUnitId);
            EXPECT_NEAR(info.defaultNormalizedValue, row.defaultValue, 1e-12);
            EXPECT_EQ(controller->getParamNormalized(row.id), info.defaultNormalizedValue);
            EXPECT_NEAR(controller->plainParamToNormalized(row.id, row.plain), row.normalized, 1e-12);
        }
        controller->terminate();
    }
    i18n::setLanguage(i18n::English, false);
}

TEST_F(ControllerTest, EnglishTitlesAndPlainDefaults)
{
    EXPECT_EQ(title(controller, 0), u"Voice cleanup");
    EXPECT_EQ(title(controller, 0, true), u"Voice cleanup");
    EXPECT_EQ(title(controller, 9), u"Processing mode");
    EXPECT_EQ(title(controller, 13), u"Neural active");
    EXPECT_DOUBLE_EQ(controller->normalizedParamToPlain(0, controller->getParamNormalized(0)), 100.0);
    EXPECT_NEAR(controller->normalizedParamToPlain(4, controller->getParamNormalized(4)), 49.5, 1e-9);
    EXPECT_NEAR(controller->normalizedParamToPlain(6, controller->getParamNormalized(6)), 0.0, 1e-9);
    ParameterInfo info{};
    controller->getParameterInfo(8, info);
    EXPECT_EQ(valueText(controller, 8, info.defaultNormalizedValue), u"Broadcast / medium");
}

TEST(ControllerParameters, ListEntriesInEveryLanguage)
{
    const char16_t* const profiles[3][3] = {
        {u"Live / gentle", u"Broadcast / medium", u"Studio / intense"},
        {u"Ao vivo / suave", u"Transmissão / médio", u"Estúdio / intenso"},
        {u"En vivo / suave", u"Emisión / medio", u"Estudio / intenso"},
    };
    const char16_t* const modes[3][3] = {
        {u"Neural Live", u"Neural Classic", u"Live DSP"},
        {u"Neural ao vivo", u"Neural Clássico", u"DSP ao vivo"},
        {u"Neural en vivo", u"Neural Clásico", u"DSP en vivo"},
    };
    for (int language = 0; language < 3; ++language) {
        i18n::setLanguage(language, false);
        HostApplication host;
        auto controller = owned(new Controller);
        ASSERT_EQ(controller->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
        for (int entry = 0; entry < 3; ++entry) {
            EXPECT_EQ(valueText(controller, 8, entry * 0.5), profiles[language][entry]) << language;
            EXPECT_EQ(valueText(controller, 9, entry * 0.5), modes[language][entry]) << language;
        }
        controller->terminate();
    }
    i18n::setLanguage(i18n::English, false);
}

TEST_F(ControllerTest, LocalizeFollowsALanguageChangeAndTellsTheHost)
{
    i18n::setLanguage(i18n::Spanish, false);
    controller->localizeParameters();
    i18n::setLanguage(i18n::English, false);
    EXPECT_EQ(title(controller, 2), u"Reducción de ruido");
    EXPECT_EQ(title(controller, 14, true), u"SATURACIÓN");
    EXPECT_EQ(valueText(controller, 9, 1.0), u"DSP en vivo");
    ParameterInfo info{};
    controller->getParameterInfo(4, info);
    EXPECT_EQ(std::u16string(info.units), u"Hz");
    EXPECT_EQ(handler->restarts(), std::vector<int32>{kParamTitlesChanged});
}

TEST_F(ControllerTest, ProcessingModeIsQuantizedAndSentOnChange)
{
    struct Case {
        double start, value, stored;
        int64 sent; // -1: no message
    };
    const Case cases[] = {
        {0.5, 0.3, 0.5, -1}, {0.5, 0.8, 1.0, 2},   {0.5, -3.0, 0.0, 0}, {0.0, -3.0, 0.0, -1},
        {0.5, 7.0, 1.0, 2},  {1.0, 7.0, 1.0, -1},  {0.5, 0.24, 0.0, 0}, {0.0, 0.25, 0.5, 1},
        {1.0, 0.74, 0.5, 1}, {0.5, 0.75, 1.0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("start " + std::to_string(c.start) + ", value " + std::to_string(c.value));
        controller->setParamNormalized(hushkit::ProcessingMode, c.start);
        clear();
        EXPECT_EQ(controller->setParamNormalized(hushkit::ProcessingMode, c.value), kResultOk);
        EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), c.stored);
        if (c.sent < 0) {
            EXPECT_TRUE(peer->received.empty());
        } else {
            ASSERT_EQ(peer->received.size(), 1u);
            EXPECT_EQ(peer->received[0].id, "ProcessingMode");
            EXPECT_TRUE(peer->received[0].hasMode);
            EXPECT_EQ(peer->received[0].mode, c.sent);
        }
        EXPECT_TRUE(handler->calls.empty());
    }
}

TEST_F(ControllerTest, OtherParametersPassThroughWithoutMessages)
{
    EXPECT_EQ(controller->setParamNormalized(0, 0.3), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(0), 0.3);
    EXPECT_EQ(controller->setParamNormalized(8, 0.3), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(8), 0.3);
    EXPECT_EQ(controller->setParamNormalized(103, 1.5), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(103), 1.0);
    EXPECT_EQ(controller->setParamNormalized(55, 0.5), kResultFalse);
    EXPECT_TRUE(peer->received.empty());
}

TEST_F(ControllerTest, NonFiniteValuesAreRefusedForEveryId)
{
    controller->setParamNormalized(hushkit::ProcessingMode, 1.0);
    clear();
    const std::vector<ParamValue> before = values();
    for (ParamID id : allIds)
        for (double value : {nan, inf, -inf})
            EXPECT_EQ(controller->setParamNormalized(id, value), kInvalidArgument) << id << " " << value;
    EXPECT_EQ(controller->setParamNormalized(55, nan), kInvalidArgument);
    EXPECT_EQ(values(), before);
    EXPECT_TRUE(peer->received.empty());
}

TEST_F(ControllerTest, ProcessingModeStateSetsTheModeAndAsksForLatency)
{
    struct Case {
        int64 mode;
        tresult result;
        double stored; // parameter 9 afterwards (it starts at 0.5)
    };
    const Case cases[] = {{1, kResultOk, 0.5}, {2, kResultOk, 1.0}, {0, kResultOk, 0.0},
                          {-1, kInvalidArgument, 0.5}, {3, kInvalidArgument, 0.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        controller->setParamNormalized(hushkit::ProcessingMode, 0.5);
        clear();
        EXPECT_EQ(controller->notify(modeState("ProcessingModeState", &c.mode)), c.result);
        EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), c.stored);
        EXPECT_TRUE(peer->received.empty()) << "no message goes back";
        if (c.result == kResultOk)
            EXPECT_EQ(handler->restarts(), std::vector<int32>{kLatencyChanged});
        else
            EXPECT_TRUE(handler->calls.empty());
    }

    clear();
    EXPECT_EQ(controller->notify(modeState("ProcessingModeState", nullptr)), kInvalidArgument);
    EXPECT_EQ(controller->notify(nullptr), kInvalidArgument);
    const int64 two = 2;
    EXPECT_NE(controller->notify(modeState("ProcessingMode", &two)), kResultOk) << "not the controller's message";
    EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), 0.5);
    EXPECT_TRUE(handler->calls.empty());
}

TEST_F(ControllerTest, ComponentStateVersion2)
{
    struct Case {
        float mode;
        double stored;
    };
    const Case cases[] = {{0.74f, 0.5}, {0.75f, 1.0}, {0.2f, 0.0}, {-0.0f, 0.0}};
    const std::vector<float> nine = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 1.0f, 0.0f};
    for (const Case& c : cases) {
        SCOPED_TRACE("mode value " + std::to_string(c.mode));
        controller->setParamNormalized(hushkit::ProcessingMode, 0.5);
        clear();
        std::vector<float> fields = nine;
        fields.push_back(c.mode);
        EXPECT_EQ(controller->setComponentState(record(2, fields)), kResultOk);
        for (ParamID id = 0; id < 9; ++id)
            EXPECT_EQ(controller->getParamNormalized(id), double(nine[id])) << id;
        EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), c.stored);
        EXPECT_TRUE(peer->received.empty());
        EXPECT_EQ(handler->restarts(), std::vector<int32>{kLatencyChanged});
    }
}

TEST_F(ControllerTest, ComponentStateVersion1AsksTheProcessorForItsMode)
{
    controller->setParamNormalized(hushkit::ProcessingMode, 1.0);
    clear();
    EXPECT_EQ(controller->setComponentState(record(1, {0, 0, 0, 0, 0, 0, 0, 0, 1.0f})), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), 0.5);
    EXPECT_EQ(controller->getParamNormalized(8), 1.0);
    ASSERT_EQ(peer->received.size(), 1u);
    EXPECT_EQ(peer->received[0].id, "RequestProcessingMode");
    EXPECT_FALSE(peer->received[0].hasMode);
    EXPECT_EQ(handler->restarts(), std::vector<int32>{kLatencyChanged});
}

TEST_F(ControllerTest, RefusedComponentStateChangesNothing)
{
    controller->setParamNormalized(hushkit::ProcessingMode, 1.0);
    clear();
    const std::vector<ParamValue> before = values();
    const std::vector<float> badSeventh = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 1.5f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(controller->setComponentState(record(2, badSeventh)), kResultFalse);
    EXPECT_EQ(controller->setComponentState(record(2, {0.1f, 0.2f, 0.3f})), kResultFalse);
    EXPECT_EQ(controller->setComponentState(record(3, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})), kResultFalse);
    EXPECT_EQ(controller->setComponentState(nullptr), kInvalidArgument);
    EXPECT_EQ(values(), before);
    EXPECT_TRUE(peer->received.empty());
    EXPECT_TRUE(handler->calls.empty());
}

TEST_F(ControllerTest, EditIsOneCompleteEditInOrder)
{
    controller->edit(hushkit::ParamId::Bypass, 1.0);
    ASSERT_EQ(handler->calls.size(), 3u);
    EXPECT_EQ(handler->calls[0].kind, 'b');
    EXPECT_EQ(handler->calls[0].id, 7u);
    EXPECT_EQ(handler->calls[1].kind, 'p');
    EXPECT_EQ(handler->calls[1].id, 7u);
    EXPECT_EQ(handler->calls[1].value, 1.0);
    EXPECT_EQ(handler->calls[1].held, 1.0) << "the controller holds the value before the host hears of it";
    EXPECT_EQ(handler->calls[2].kind, 'e');
    EXPECT_EQ(handler->calls[2].id, 7u);
}

TEST_F(ControllerTest, EditOfTheModePerformsTheValueAsGiven)
{
    controller->edit(hushkit::ProcessingMode, 0.8);
    ASSERT_EQ(handler->calls.size(), 3u);
    EXPECT_EQ(handler->calls[1].value, 0.8);
    EXPECT_EQ(handler->calls[1].held, 1.0);
    ASSERT_EQ(peer->received.size(), 1u);
    EXPECT_EQ(peer->received[0].mode, 2);
}

TEST_F(ControllerTest, SecondInitializeIsRefusedWithoutDuplicates)
{
    EXPECT_EQ(controller->initialize(hostContext()), kResultFalse);
    EXPECT_EQ(controller->getParameterCount(), 15);
    controller->terminate();
    EXPECT_EQ(controller->getParameterCount(), 0);
    EXPECT_EQ(controller->initialize(hostContext()), kResultOk);
    EXPECT_EQ(controller->getParameterCount(), 15);
}

TEST_F(ControllerTest, NoViewOnThisPlatform)
{
    EXPECT_EQ(controller->createView("editor"), nullptr);
    EXPECT_EQ(controller->createView("Editor"), nullptr);
    EXPECT_EQ(controller->createView(nullptr), nullptr);
}

// A module that holds an editor installs its maker; createView hands the
// maker its own controller for the name "editor" and for no other name.
TEST_F(ControllerTest, InstalledViewMakerServesOnlyTheEditorName)
{
    static hushkit::Controller* askedFor = nullptr;
    static int calls = 0;
    static const ViewRect rect(0, 0, 10, 10);
    static CPluginView fakeView(&rect);
    askedFor = nullptr;
    calls = 0;
    hushkit::Controller::setViewMaker([](hushkit::Controller* owner) -> IPlugView* {
        askedFor = owner;
        ++calls;
        return &fakeView;
    });
    EXPECT_EQ(controller->createView("Editor"), nullptr);
    EXPECT_EQ(controller->createView(nullptr), nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(controller->createView("editor"), &fakeView);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(askedFor, controller);
    hushkit::Controller::setViewMaker(nullptr);
    EXPECT_EQ(controller->createView("editor"), nullptr);
    EXPECT_EQ(calls, 1);
}

TEST_F(ControllerTest, OwnStateCallsStayTheBase)
{
    EXPECT_EQ(controller->setState(record(2, {})), kNotImplemented);
    EXPECT_EQ(controller->getState(record(2, {})), kNotImplemented);
}

TEST(ControllerCreate, ReturnsTheEditControllerWithOneReference)
{
    FUnknown* object = Controller::create(nullptr);
    ASSERT_NE(object, nullptr);
    IEditController* controller = nullptr;
    ASSERT_EQ(object->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller)), kResultOk);
    EXPECT_EQ(static_cast<FUnknown*>(controller), object);
    EXPECT_EQ(controller->release(), 1u);
    EXPECT_EQ(object->release(), 0u);
}

// A real processor and a real controller, connected in both directions
// through the SDK's connection proxies as a host connects them.
TEST(ControllerProcessor, ModeChangeTravelsBothWays)
{
    i18n::setLanguage(i18n::English, false);
    HostApplication host;
    FUnknown* context = static_cast<IHostApplication*>(&host);

    IPtr<FUnknown> processorObject = owned(hushkit::Processor::create(nullptr));
    IPtr<FUnknown> controllerObject = owned(Controller::create(nullptr));
    FUnknownPtr<IComponent> component(processorObject);
    FUnknownPtr<IAudioProcessor> audio(processorObject);
    FUnknownPtr<IEditController> controller(controllerObject);
    FUnknownPtr<IConnectionPoint> processorPoint(processorObject);
    FUnknownPtr<IConnectionPoint> controllerPoint(controllerObject);
    ASSERT_TRUE(component && audio && controller && processorPoint && controllerPoint);

    ASSERT_EQ(component->initialize(context), kResultOk);
    ASSERT_EQ(controller->initialize(context), kResultOk);
    auto handler = owned(new RecordingHandler);
    handler->controller = controller;
    controller->setComponentHandler(handler);

    auto toController = owned(new ConnectionProxy(processorPoint));
    auto toProcessor = owned(new ConnectionProxy(controllerPoint));
    ASSERT_EQ(toController->connect(controllerPoint), kResultOk);
    ASSERT_EQ(toProcessor->connect(processorPoint), kResultOk);

    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(audio->setupProcessing(setup), kResultOk);
    const uint32 classicLatency = audio->getLatencySamples();

    // Neural Live from the controller: the processor stores the request and
    // answers; the answer sets parameter 9 and asks the host for the latency.
    EXPECT_EQ(controller->setParamNormalized(hushkit::ProcessingMode, 0.1), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), 0.0);
    EXPECT_EQ(handler->restarts(), std::vector<int32>{kLatencyChanged});
    const auto& processor = *static_cast<hushkit::Processor*>(audio.get());
    EXPECT_EQ(processor.requestedMode.load(), 0);
    EXPECT_EQ(audio->getLatencySamples(), uint32(processor.modeLatency[0]));
    EXPECT_NE(audio->getLatencySamples(), classicLatency);

    // A state without a mode: the controller asks, the processor answers with
    // its own request.
    handler->calls.clear();
    EXPECT_EQ(controller->setComponentState(record(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f})), kResultOk);
    EXPECT_EQ(controller->getParamNormalized(hushkit::ProcessingMode), 0.0);
    EXPECT_EQ(handler->restarts(), (std::vector<int32>{kLatencyChanged, kLatencyChanged}));

    toController->disconnect();
    toProcessor->disconnect();
    controller->terminate();
    component->terminate();
}

} // namespace
