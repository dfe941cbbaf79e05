#pragma once
// The plug-in's edit controller: the fifteen parameters the host lists, their
// titles in the current language, the processing mode kept in step with the
// processor, and the processor's state record read back into the parameters.

#include "public.sdk/source/vst/vsteditcontroller.h"

namespace hushkit {

class Controller : public Steinberg::Vst::EditController {
public:
    // Factory entry: a new controller as its IEditController, holding the
    // initial reference. The context is not used.
    static Steinberg::FUnknown* create(void* context);

    ~Controller() override = default;

    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID tag,
                                                     Steinberg::Vst::ParamValue value) override;
    // The editor view for the name "editor", made by the maker that the
    // module holding the editor installed; none for any other name, and none
    // at all while no maker is installed (a module without an editor).
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // Installs, process-wide, what createView("editor") calls.
    using ViewMaker = Steinberg::IPlugView* (*)(Controller* controller);
    static void setViewMaker(ViewMaker maker);

    // Sets titles, short titles and list entries from the catalog in the
    // current language and tells the host that titles changed.
    void localizeParameters();

    // One complete edit of one parameter: beginEdit, the controller's own
    // setParamNormalized, performEdit with `value` as given, endEdit.
    void edit(Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue value);
};

} // namespace hushkit
