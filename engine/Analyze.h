#pragma once
// Analysis entry compiled against the noise-suppression library's private
// state: runs the library's feature extraction and recurrent network on one
// 480-sample frame (16-bit scale) and reports 32 band gains and the voice
// probability, without synthesising audio.

struct DenoiseState;

// Nonzero when the linked library's state has the layout that the analysis
// entry is written against; the entry must not run on any other build.
extern "C" int hushkit_analyze_supported(void);

extern "C" float hushkit_analyze(DenoiseState* st, float* gains, const float* frame);
