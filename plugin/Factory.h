#pragma once
// The module's class factory: the SDK's plug-in factory with the two listed
// classes (processor and controller) and two further processor classes that
// it creates without listing them.

#include "public.sdk/source/main/pluginfactory.h"

class HushkitFactory : public Steinberg::CPluginFactory {
public:
    explicit HushkitFactory(const Steinberg::PFactoryInfo& info) : CPluginFactory(info) {}
    ~HushkitFactory() override = default;

    // Serves hushkit::LiveID and hushkit::NeuralLiveID itself (processors
    // whose state without a mode stands for Live DSP and Neural Live); every
    // other identifier goes to the registered classes of the base.
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString interfaceId,
                                                 void** obj) override;
};

// Module hooks, called by the SDK's module entry on the first entry and the
// last exit of nested entry/exit pairs.
bool InitModule();
bool DeinitModule();
