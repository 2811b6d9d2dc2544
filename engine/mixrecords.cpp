#include "engine/mixrecords.h"

namespace {

struct OutputPatchInit {
    OutputPatchInit() {
        gOutputPatch[0] = kOutputPatchMaster;
        for (int i = 1; i < kOutputPatchSize; ++i) gOutputPatch[i] = -1;
    }
};

}  // namespace

int32_t gOutputPatch[kOutputPatchSize];

static OutputPatchInit sOutputPatchInit;
