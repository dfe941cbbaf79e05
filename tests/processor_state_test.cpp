// The component state record (getState/setState) and the mode messages over
// a real SDK connection.

#include "processor_host.h"
#include "StateRecord.h"

#include "public.sdk/source/vst/hosting/connectionproxy.h"
#include "public.sdk/source/vst/vstcomponentbase.h"
#include "pluginterfaces/base/funknownimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

using namespace hushkit;
using namespace hushkit::test;

namespace {

const std::vector<uint8_t> NewRecord = {
    0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F,
    0x00, 0x00, 0x00, 0x00, 0xCD, 0xCC, 0xCC, 0x3D, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3F,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x3F,
};

const std::vector<float> Values = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f};

std::vector<float> withMode(float mode)
{
    std::vector<float> v = Values;
    v.push_back(mode);
    return v;
}

TEST(ProcessorState, NewProcessorWritesTheDefaultRecord)
{
    Host host;
    EXPECT_EQ(stateBytes(*host.processor), NewRecord);
    ASSERT_EQ(loadState(*host.processor, NewRecord), kResultOk);
    EXPECT_EQ(stateBytes(*host.processor), NewRecord);
}

TEST(ProcessorState, RecordRoundTrip)
{
    Host host;
    const auto bytes = recordBytes(2, withMode(1.0f));
    ASSERT_EQ(loadState(*host.processor, bytes), kResultOk);
    EXPECT_EQ(stateBytes(*host.processor), bytes);
    EXPECT_EQ(host.processor->requestedMode.load(), 2);
}

TEST(ProcessorState, SavesTheRequestedModeNotTheActiveOne)
{
    Host host;
    ASSERT_TRUE(host.start());
    host.processor->requestedMode.store(0);
    const auto bytes = stateBytes(*host.processor);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(host.processor->activeMode, 1);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(ProcessorState, VersionOneTakesTheDefaultMode)
{
    for (int32_t defaultMode : {0, 1, 2}) {
        SCOPED_TRACE(defaultMode);
        Host host(defaultMode);
        ASSERT_TRUE(host.start());
        ASSERT_EQ(loadState(*host.processor, recordBytes(1, Values)), kResultOk);
        EXPECT_EQ(host.processor->requestedMode.load(), defaultMode);
        EXPECT_EQ(host.processor->getLatencySamples(), static_cast<uint32>(host.processor->modeLatency[defaultMode]));
        for (int k = 0; k < EngineParamCount; ++k)
            EXPECT_EQ(host.processor->params[k].load(), Values[static_cast<size_t>(k)]);
    }
}

TEST(ProcessorState, InvalidRecordsChangeNothing)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> ninthTooLarge = Values;
    ninthTooLarge[8] = 1.0000001f;
    std::vector<float> ninthNaN = Values;
    ninthNaN[8] = nan;
    std::vector<float> firstInfinite = Values;
    firstInfinite[0] = std::numeric_limits<float>::infinity();
    std::vector<float> firstNegative = Values;
    firstNegative[0] = -0.001f;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"version 0", recordBytes(0, withMode(0.0f))},
        {"version 3", recordBytes(3, withMode(0.0f))},
        {"ninth value 1.0000001", recordBytes(2, [&] { auto v = ninthTooLarge; v.push_back(1.0f); return v; }())},
        {"ninth value NaN", recordBytes(2, [&] { auto v = ninthNaN; v.push_back(1.0f); return v; }())},
        {"first value infinite", recordBytes(2, [&] { auto v = firstInfinite; v.push_back(1.0f); return v; }())},
        {"first value negative", recordBytes(2, [&] { auto v = firstNegative; v.push_back(1.0f); return v; }())},
        {"mode -0.5", recordBytes(2, withMode(-0.5f))},
        {"mode NaN", recordBytes(2, withMode(nan))},
        {"24 bytes", [] { auto b = recordBytes(2, withMode(1.0f)); b.resize(24); return b; }()},
        {"version 2 without mode (40 bytes)", recordBytes(2, Values)},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        ASSERT_TRUE(host.start());
        EXPECT_EQ(loadState(*host.processor, c.bytes), kResultFalse);
        EXPECT_EQ(stateBytes(*host.processor), NewRecord);
        EXPECT_EQ(host.processor->requestedMode.load(), 1);
        // Nor do the engines receive anything at the next block.
        ASSERT_EQ(host.run(64), kResultOk);
        for (const Engine& e : host.processor->engines)
            for (int k = 0; k < EngineParamCount; ++k)
                EXPECT_EQ(e.target[k], Defaults[k]);
    }
}

TEST(ProcessorState, RecordIsReadOnlyToItsEnd)
{
    Host host;
    auto bytes = recordBytes(2, withMode(0.0f));
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF});  // 48 bytes
    MemoryStream stream;
    int32 written = 0;
    stream.write(bytes.data(), static_cast<int32>(bytes.size()), &written);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(host.processor->setState(&stream), kResultOk);
    int64 position = 0;
    stream.tell(&position);
    EXPECT_EQ(position, 44);
    EXPECT_EQ(host.processor->requestedMode.load(), 0);
}

TEST(ProcessorState, ModeValuesMapToModes)
{
    const struct {
        float value;
        int32_t mode;
    } cases[] = {{0.2f, 0}, {0.3f, 1}, {0.8f, 2}, {-0.0f, 0}, {0.0f, 0}, {0.5f, 1}, {1.0f, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Host host;
        ASSERT_EQ(loadState(*host.processor, recordBytes(2, withMode(c.value))), kResultOk);
        EXPECT_EQ(host.processor->requestedMode.load(), c.mode);
    }
}

TEST(ProcessorState, NegativeZeroValuePasses)
{
    Host host;
    std::vector<float> v = Values;
    v[3] = -0.0f;
    v.push_back(0.5f);
    EXPECT_EQ(loadState(*host.processor, recordBytes(2, v)), kResultOk);
}

TEST(ProcessorState, MissingStream)
{
    Host host;
    EXPECT_EQ(host.processor->getState(nullptr), kInvalidArgument);
    EXPECT_EQ(host.processor->setState(nullptr), kInvalidArgument);
}

// A host stream with room for a fixed number of bytes; writes beyond it fail.
class FixedStream : public U::Implements<U::Directly<IBStream>> {
public:
    explicit FixedStream(size_t room) : capacity(room) {}
    tresult PLUGIN_API read(void*, int32, int32* numBytesRead) override
    {
        if (numBytesRead)
            *numBytesRead = 0;
        return kResultFalse;
    }
    tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override
    {
        const size_t count = std::min(static_cast<size_t>(numBytes), capacity - bytes.size());
        const auto* p = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + count);
        if (numBytesWritten)
            *numBytesWritten = static_cast<int32>(count);
        return count == static_cast<size_t>(numBytes) ? kResultOk : kResultFalse;
    }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kResultFalse; }
    tresult PLUGIN_API tell(int64* pos) override
    {
        if (pos)
            *pos = static_cast<int64>(bytes.size());
        return kResultOk;
    }
    size_t capacity;
    std::vector<uint8_t> bytes;
};

TEST(ProcessorState, FailedWriteKeepsWhatWasWritten)
{
    Host host;
    auto stream = owned(new FixedStream(20));
    EXPECT_EQ(host.processor->getState(stream), kResultFalse);
    EXPECT_EQ(stream->bytes, std::vector<uint8_t>(NewRecord.begin(), NewRecord.begin() + 20));
}

TEST(ProcessorState, LoadedValuesReachAllEnginesByTheNextBlock)
{
    Host host;
    ASSERT_TRUE(host.start());
    ASSERT_EQ(loadState(*host.processor, recordBytes(2, withMode(0.5f))), kResultOk);
    ASSERT_EQ(host.run(64), kResultOk);
    for (const Engine& e : host.processor->engines)
        for (int k = 0; k < EngineParamCount; ++k)
            EXPECT_EQ(e.target[k], Values[static_cast<size_t>(k)]) << k;
    // The active engine glides to the new targets instead of jumping.
    EXPECT_NE(host.processor->engines[1].smoothed[0], Values[0]);

    // A block's own change later in time wins over the loaded value.
    ASSERT_EQ(loadState(*host.processor, NewRecord), kResultOk);
    host.addChange(ParamId::CleanAmount, 0, 0.25);
    ASSERT_EQ(host.run(64), kResultOk);
    EXPECT_EQ(host.processor->params[0].load(), 0.25f);
    EXPECT_EQ(host.processor->engines[1].target[0], 0.25f);
    EXPECT_EQ(host.processor->engines[1].target[1], Defaults[1]);
}

TEST(ProcessorState, LoadedWhileInactiveAppliesAtActivation)
{
    Host host;
    ASSERT_EQ(loadState(*host.processor, recordBytes(2, withMode(1.0f))), kResultOk);
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.processor->activeMode, 2);
    for (const Engine& e : host.processor->engines)
        for (int k = 0; k < EngineParamCount; ++k)
            EXPECT_EQ(e.smoothed[k], Values[static_cast<size_t>(k)]) << k;
}

TEST(StateRecordReader, FailureLeavesRecordUntouched)
{
    StateRecord record;
    record.version = 77;
    record.values[0] = 0.123f;
    record.mode = 0.9f;
    const auto bytes = recordBytes(2, [] { auto v = withMode(0.0f); v[5] = 2.0f; return v; }());
    MemoryStream stream;
    int32 written = 0;
    stream.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    EXPECT_FALSE(readStateRecord(&stream, record));
    EXPECT_EQ(record.version, 77u);
    EXPECT_EQ(record.values[0], 0.123f);
    EXPECT_EQ(record.mode, 0.9f);
    int64 position = 0;
    stream.tell(&position);
    EXPECT_EQ(position, 28);  // stopped after the failing value
    EXPECT_FALSE(readStateRecord(nullptr, record));
}

TEST(StateRecordReader, ReadsBothVersions)
{
    StateRecord record;
    MemoryStream v1;
    const auto b1 = recordBytes(1, Values);
    int32 written = 0;
    v1.write(const_cast<uint8_t*>(b1.data()), static_cast<int32>(b1.size()), &written);
    v1.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_TRUE(readStateRecord(&v1, record));
    EXPECT_EQ(record.version, 1u);
    EXPECT_FALSE(record.hasMode);
    EXPECT_EQ(record.values[8], 0.9f);

    MemoryStream v2;
    const auto b2 = recordBytes(2, withMode(0.3f));
    v2.write(const_cast<uint8_t*>(b2.data()), static_cast<int32>(b2.size()), &written);
    v2.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_TRUE(readStateRecord(&v2, record));
    EXPECT_EQ(record.version, 2u);
    EXPECT_TRUE(record.hasMode);
    EXPECT_EQ(record.mode, 0.3f);
}

// The controller side of the connection: an SDK component that keeps the
// messages it is sent.
class Peer : public ComponentBase {
public:
    tresult PLUGIN_API notify(IMessage* message) override
    {
        ids.push_back(message->getMessageID() ? message->getMessageID() : "");
        int64 mode = -99;
        if (message->getAttributes())
            message->getAttributes()->getInt("mode", mode);
        modes.push_back(mode);
        return kResultOk;
    }
    std::vector<std::string> ids;
    std::vector<int64> modes;
};

struct Connected {
    Host host;
    IPtr<Peer> peer = owned(new Peer);
    IPtr<ConnectionProxy> proxy;

    explicit Connected(bool withHostContext = true) : host(1)
    {
        if (!withHostContext) {
            host.processor->terminate();
            host.processor->initialize(nullptr);
        }
        proxy = owned(new ConnectionProxy(host.processor));
        EXPECT_EQ(proxy->connect(peer), kResultOk);
    }
    ~Connected() { proxy->disconnect(peer); }

    tresult send(const char* id, const int64* mode)
    {
        IPtr<IMessage> message = owned(allocateMessage(host.app.get()));
        if (id)
            message->setMessageID(id);
        if (mode)
            message->getAttributes()->setInt("mode", *mode);
        return host.processor->notify(message);
    }
};

TEST(ProcessorMessages, ProcessingModeIsStoredAndAnswered)
{
    Connected c;
    ASSERT_TRUE(c.host.start(44100.0));
    const int64 two = 2;
    EXPECT_EQ(c.send("ProcessingMode", &two), kResultOk);
    ASSERT_EQ(c.peer->ids.size(), 1u);
    EXPECT_EQ(c.peer->ids[0], "ProcessingModeState");
    EXPECT_EQ(c.peer->modes[0], 2);
    EXPECT_EQ(c.host.processor->requestedMode.load(), 2);
    EXPECT_EQ(c.host.processor->getLatencySamples(), 0u);
    // The engine switches only at the next block.
    EXPECT_EQ(c.host.processor->activeMode, 1);
    ASSERT_EQ(c.host.run(64), kResultOk);
    EXPECT_EQ(c.host.processor->activeMode, 2);

    const int64 zero = 0;
    EXPECT_EQ(c.send("ProcessingMode", &zero), kResultOk);
    EXPECT_EQ(c.host.processor->getLatencySamples(), 120u);
}

TEST(ProcessorMessages, InvalidModeRequestsAreRefusedWithoutAnswer)
{
    const int64 three = 3, minusOne = -1, huge = int64(1) << 32;
    const struct {
        const char* what;
        const int64* mode;
    } cases[] = {{"mode 3", &three}, {"mode -1", &minusOne}, {"mode 2^32", &huge}, {"no attribute", nullptr}};
    for (const auto& m : cases) {
        SCOPED_TRACE(m.what);
        Connected c;
        EXPECT_EQ(c.send("ProcessingMode", m.mode), kInvalidArgument);
        EXPECT_TRUE(c.peer->ids.empty());
        EXPECT_EQ(c.host.processor->requestedMode.load(), 1);
    }
}

TEST(ProcessorMessages, RequestProcessingModeAnswersWithoutChange)
{
    Connected c;
    c.host.processor->requestedMode.store(0);
    EXPECT_EQ(c.send("RequestProcessingMode", nullptr), kResultOk);
    ASSERT_EQ(c.peer->ids.size(), 1u);
    EXPECT_EQ(c.peer->ids[0], "ProcessingModeState");
    EXPECT_EQ(c.peer->modes[0], 0);
    EXPECT_EQ(c.host.processor->requestedMode.load(), 0);
}

TEST(ProcessorMessages, MissingMessageOrId)
{
    Connected c;
    EXPECT_EQ(c.host.processor->notify(nullptr), kInvalidArgument);
    EXPECT_EQ(c.send(nullptr, nullptr), kInvalidArgument);
    EXPECT_TRUE(c.peer->ids.empty());
}

TEST(ProcessorMessages, OtherMessagesGoToTheBase)
{
    Connected c;
    EXPECT_EQ(c.send("SomethingElse", nullptr), kResultFalse);
    EXPECT_TRUE(c.peer->ids.empty());
}

TEST(ProcessorMessages, NoAnswerWithoutAHostToAllocateIt)
{
    Connected c(false);
    const int64 two = 2;
    EXPECT_EQ(c.send("ProcessingMode", &two), kResultOk);
    EXPECT_EQ(c.host.processor->requestedMode.load(), 2);
    EXPECT_TRUE(c.peer->ids.empty());
}

} // namespace
