// The module's front door: the module hooks, the exported GetPluginFactory
// with the process-wide factory, and the factory's own createInstance for the
// two processor classes that it does not list.

#include "Factory.h"

#include "Controller.h"
#include "Ids.h"
#include "Processor.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/vsttypes.h"

#ifdef _WIN32
#include "MakeEditor.h"
#endif

#include <cstring>

using namespace Steinberg;

bool InitModule() { return true; }

bool DeinitModule() { return true; }

namespace {

bool sameClass(FIDString cid, const FUID& id) { return std::memcmp(cid, id.toTUID(), sizeof(TUID)) == 0; }

} // namespace

tresult PLUGIN_API HushkitFactory::createInstance(FIDString cid, FIDString interfaceId, void** obj)
{
    if (cid == nullptr || interfaceId == nullptr || obj == nullptr)
        return kInvalidArgument;

    int32_t defaultMode = 0;
    if (sameClass(cid, hushkit::LiveID))
        defaultMode = static_cast<int32_t>(hushkit::Mode::LiveDsp);
    else if (sameClass(cid, hushkit::NeuralLiveID))
        defaultMode = static_cast<int32_t>(hushkit::Mode::NeuralLive);
    else
        return CPluginFactory::createInstance(cid, interfaceId, obj);

    // The new processor holds one reference; on success the interface asked
    // for holds the only remaining one, on failure the release destroys it.
    Vst::IAudioProcessor* processor = new hushkit::Processor(defaultMode);
    const tresult result = processor->queryInterface(interfaceId, obj);
    processor->release();
    return result;
}

SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    if (gPluginFactory != nullptr) {
        gPluginFactory->addRef();
        return gPluginFactory;
    }

#ifdef _WIN32
    // The Windows module holds the editor: its controllers' createView("editor") makes one.
    hushkit::Controller::setViewMaker(hushkit::makeEditor);
#endif

    static const PFactoryInfo factoryInfo("Hushkit", "", "", PFactoryInfo::kUnicode);
    // The new factory's one reference goes to the caller. The pointer is
    // stored before any class is registered; the base's destructor clears it
    // again when the last reference is released.
    gPluginFactory = new HushkitFactory(factoryInfo);

    {
        static const PClassInfo2 componentClass(hushkit::ProcessorID.toTUID(), PClassInfo::kManyInstances,
                                                kVstAudioEffectClass, "Hushkit", Vst::kDistributable,
                                                "Fx|Restoration", nullptr, HUSHKIT_VERSION, kVstVersionString);
        gPluginFactory->registerClass(&componentClass, hushkit::Processor::create, nullptr);
    }
    {
        static const PClassInfo2 componentClass(hushkit::ControllerID.toTUID(), PClassInfo::kManyInstances,
                                                kVstComponentControllerClass, "Hushkit Controller", 0, "",
                                                nullptr, HUSHKIT_VERSION, kVstVersionString);
        gPluginFactory->registerClass(&componentClass, hushkit::Controller::create, nullptr);
    }
    return gPluginFactory;
}
