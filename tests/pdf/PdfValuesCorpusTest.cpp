// Strings, names and numbers that the PDF value fuzzer keeps, written and read back.
#include "tests/FuzzCorpus.h"

TEST(PdfValuesCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("PdfValuesFuzz");
}
