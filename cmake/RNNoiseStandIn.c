/* A noise-suppression library without noise suppression, for builds that have
   no RNNoise for their platform: creating a state fails, so every neural
   engine falls back to Live DSP. It also defines the internal functions that
   the analysis entry references, so that everything links; with no state to
   run on they are never reached. */
#include <rnnoise.h>

#include <string.h>

int rnnoise_get_size(void) { return 0; }

int rnnoise_get_frame_size(void) { return 480; }

int rnnoise_init(DenoiseState *st, RNNModel *model)
{
    (void)st;
    (void)model;
    return -1;
}

DenoiseState *rnnoise_create(RNNModel *model)
{
    (void)model;
    return NULL;
}

void rnnoise_destroy(DenoiseState *st) { (void)st; }

float rnnoise_process_frame(DenoiseState *st, float *out, const float *in)
{
    (void)st;
    memcpy(out, in, 480 * sizeof(float));
    return 0.0f;
}

int rnn_compute_frame_features(DenoiseState *st, void *X, void *P, float *Ex, float *Ep, float *Exp,
                               float *features, const float *in)
{
    (void)st;
    (void)X;
    (void)P;
    (void)Ex;
    (void)Ep;
    (void)Exp;
    (void)features;
    (void)in;
    return 1;
}

void compute_rnn(const void *model, void *rnn, float *gains, float *vad, const float *features, int arch)
{
    (void)model;
    (void)rnn;
    (void)features;
    (void)arch;
    memset(gains, 0, 32 * sizeof(float));
    *vad = 0.0f;
}
