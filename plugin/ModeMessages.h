#pragma once
// The messages by which the controller and the processor keep the processing
// mode in step: their ids and the one integer attribute they carry.

namespace hushkit {
namespace ModeMessage {

// Controller to processor: request the mode in Attribute.
constexpr char Set[] = "ProcessingMode";
// Controller to processor: ask which mode is requested.
constexpr char Request[] = "RequestProcessingMode";
// Processor to controller: the requested mode, in Attribute.
constexpr char State[] = "ProcessingModeState";
// The mode index, a 64-bit integer 0, 1 or 2.
constexpr char Attribute[] = "mode";

} // namespace ModeMessage
} // namespace hushkit
