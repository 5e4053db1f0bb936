// Mail requests that the mail fuzzer keeps, turned into Thunderbird's -compose argument.
#include "tests/FuzzCorpus.h"

TEST(MailCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("MailFuzz");
}
