// Replays a fuzz target's seed corpus and the inputs that once broke it (fuzz/corpus/<target>/)
// as an ordinary test: the target's source is compiled into the test, and a broken property
// aborts it exactly as under the fuzzer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

inline void ReplayFuzzCorpus(const std::string& target) {
    const char* source = std::getenv("VELORIX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(nullptr, nullptr);
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(source) /
                                                                 "fuzz/corpus" / target))
        inputs.push_back(entry.path());
    ASSERT_FALSE(inputs.empty());
    for (const auto& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        // Printed first: an input that breaks a property aborts the whole test.
        std::fprintf(stderr, "%s\n", input.filename().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}
