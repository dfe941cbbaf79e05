#pragma once
// The editor's one entry for the controller, free of the Windows headers: the
// view maker that a module holding the editor installs with
// Controller::setViewMaker.

#include "pluginterfaces/gui/iplugview.h"

namespace hushkit {

class Controller;

// A new editor for the controller, as the view interface carrying the one
// initial reference.
Steinberg::IPlugView* makeEditor(Controller* controller);

} // namespace hushkit
