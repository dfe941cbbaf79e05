#pragma once
// Analysis entry compiled against the noise-suppression library's private
// state: runs the library's feature extraction and recurrent network on one
// 480-sample frame (16-bit scale) and reports 32 band gains and the voice
// probability, without synthesising audio.

struct DenoiseState;

extern "C" float hushkit_analyze(DenoiseState* st, float* gains, const float* frame);

// Nonzero when the linked library's private state has the layout that
// hushkit_analyze was written against.
extern "C" int hushkit_analyze_supported(void);
