// Page lists that the document fuzzer keeps, written as files and checked in process.
#include "tests/FuzzCorpus.h"

TEST(PdfDocumentCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("PdfDocumentFuzz");
}
