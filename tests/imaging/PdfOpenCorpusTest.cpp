// Hostile and ordinary PDFs that the PDF fuzzer keeps, opened as pages.
#include "tests/FuzzCorpus.h"

TEST(PdfOpenCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("PdfOpenFuzz");
}
