// Worker answers that the answers fuzzer keeps (tables, listings, pages), read as the program
// reads them.
#include "tests/FuzzCorpus.h"

TEST(WorkerAnswersCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("WorkerAnswersFuzz");
}
