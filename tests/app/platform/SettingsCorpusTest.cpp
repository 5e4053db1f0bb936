// Settings files that the settings fuzzer keeps, read by the window's settings store.
#include "tests/FuzzCorpus.h"

TEST(SettingsCorpus, EverySeedAndEveryPastCrashPasses) {
    ReplayFuzzCorpus("SettingsFuzz");
}
