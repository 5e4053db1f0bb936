// Image files of every family that the image fuzzer keeps, opened by the engine.
#include "tests/FuzzCorpus.h"

TEST(ImageLoadCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("ImageLoadFuzz");
}
