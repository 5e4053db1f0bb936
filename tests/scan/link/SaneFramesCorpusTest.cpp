// Frame parameters and bytes that the SANE frame fuzzer keeps, turned into pictures.
#include "tests/FuzzCorpus.h"

TEST(SaneFramesCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("SaneFramesFuzz");
}
