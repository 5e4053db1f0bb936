// The Windows hand-over of scanned pages between processes, through the real system calls: this
// program starts itself again as a "worker" that publishes blocks for it and exits; the blocks
// must outlive their worker, hold what it wrote, and only the handles given may be touched.
// Prints "ok: ..." or "FAIL: ..." for each check; exits non-zero on any failure.
#include "scan/link/SharedBlock.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace velorix::scan::worker {
void RaiseBlockError(const std::string& message) {
    throw std::runtime_error(message);
}
} // namespace velorix::scan::worker

using velorix::scan::worker::SharedBlock;

namespace {

int failures = 0;

void Check(bool good, const std::string& what) {
    std::printf("%s: %s\n", good ? "ok" : "FAIL", what.c_str());
    failures += good ? 0 : 1;
}

// What an attempt raised, or "" when it raised nothing.
template <typename F> std::string Raised(F&& attempt) {
    try {
        attempt();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

unsigned char Pattern(std::size_t i) {
    return static_cast<unsigned char>((i * 131) ^ (i >> 9));
}

const std::size_t kSizes[] = {3 * 1024 * 1024 + 17, 1000, 4096};

int RunWorker(unsigned long program) {
    SharedBlock::SetReceiver(program);
    for (std::size_t size : kSizes) {
        std::vector<unsigned char> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = Pattern(i);
        SharedBlock::Publish(data.data(), size, [](const std::string& name) {
            std::printf("%s\n", name.c_str());
            std::fflush(stdout);
        });
    }
    return 0;
}

// Starts this program again as the worker and returns the names it printed, once it has gone.
std::vector<std::string> NamesFromWorker() {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" worker " + std::to_wstring(::GetCurrentProcessId());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ::CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &child)) {
        Check(false, "the worker starts");
        return {};
    }
    ::CloseHandle(writeEnd);
    std::string out;
    char buffer[512];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n)
        out.append(buffer, n);
    ::CloseHandle(readEnd);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(child.hProcess, &code);
    ::CloseHandle(child.hProcess);
    ::CloseHandle(child.hThread);
    Check(code == 0, "the worker published its blocks and has gone");
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        names.push_back(out.substr(start, end - start - (out[end - 1] == '\r' ? 1 : 0)));
    return names;
}

// The handle a name gives (its next-to-last field), and whether this process still holds it.
HANDLE HandleOf(const std::string& name) {
    const std::size_t last = name.rfind('-'), before = name.rfind('-', last - 1);
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(
        std::strtoull(name.substr(before + 1, last - before - 1).c_str(), nullptr, 16)));
}
bool Held(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags);
}

// The name with its handle field replaced.
std::string WithHandle(const std::string& name, const std::string& handle) {
    const std::size_t last = name.rfind('-'), before = name.rfind('-', last - 1);
    return name.substr(0, before + 1) + handle + name.substr(last);
}
std::string Hex(HANDLE handle) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    return hex;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "worker")
        return RunWorker(std::strtoul(argv[2], nullptr, 10));

    Check(Raised([] {
              SharedBlock::Publish(nullptr, 0, [](const std::string&) {});
          }).rfind("Mémoire partagée indisponible", 0) == 0,
          "no block without a program to receive it");

    // A section of our own, which no name from a worker may reach.
    HANDLE own =
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, nullptr);
    auto* ownView = static_cast<char*>(::MapViewOfFile(own, FILE_MAP_WRITE, 0, 0, 0));
    std::snprintf(ownView, 64, "our own");

    const std::vector<std::string> names = NamesFromWorker();
    if (names.size() != 3) {
        Check(false, "three names from the worker");
        return 1;
    }
    const std::string &whole = names[0], &small = names[1], &spare = names[2];
    Check(Held(HandleOf(whole)) && Held(HandleOf(small)) && Held(HandleOf(spare)),
          "the worker's handles are ours");

    {
        std::unique_ptr<SharedBlock> block = SharedBlock::Open(whole, kSizes[0]);
        bool same = block->Size() == kSizes[0];
        for (std::size_t i = 0; same && i < kSizes[0]; ++i)
            same = block->Data()[i] == Pattern(i);
        Check(same, "every byte the worker wrote is there after it has gone");
        block->Data()[kSizes[0] - 1] = 0; // writable, as a picture's pixels are
        Check(!Held(HandleOf(whole)), "the handle is closed once the block is mapped");
    }
    Check(Raised([&] { SharedBlock::Open(whole, kSizes[0]); }) == "Mémoire partagée introuvable",
          "a block opens once");

    Check(Raised([&] { SharedBlock::Open(small, kSizes[1] + 1); }) == "Mémoire partagée illisible",
          "a size larger than the block is refused");
    Check(!Held(HandleOf(small)) && !Raised([&] { SharedBlock::Open(small, kSizes[1]); }).empty(),
          "the refused block is freed");

    // Names never given: malformed, for another process, for our own section, or with a tag the
    // block does not carry. None may close or spoil anything.
    std::string otherTag = spare;
    otherTag.back() = otherTag.back() == '0' ? '1' : '0';
    std::string otherProcess = spare;
    otherProcess.insert(sizeof("velorix-scan-section-") - 1, "1");
    std::string upper = spare;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string zero = WithHandle(spare, "0" + Hex(HandleOf(spare)));
    for (const std::string& name : {std::string(), std::string("/velorix-scan-1-2-3"), spare + "0",
                                    upper, otherProcess, otherTag, WithHandle(spare, Hex(own)),
                                    WithHandle(spare, Hex(::GetCurrentProcess())), zero}) {
        const std::string raised = Raised([&] { SharedBlock::Open(name, 1); });
        SharedBlock::Discard(name);
        Check(raised == "Mémoire partagée inconnue" || raised == "Mémoire partagée introuvable",
              "refused: \"" + name + "\" (" + raised + ")");
    }
    Check(Held(HandleOf(spare)) && Held(own) && std::string(ownView) == "our own",
          "names never given touched nothing");

    SharedBlock::Discard(spare);
    Check(!Held(HandleOf(spare)), "discarding a block never opened frees it");
    Check(!Raised([&] { SharedBlock::Open(spare, 1); }).empty(), "a discarded block is gone");

    ::UnmapViewOfFile(ownView);
    ::CloseHandle(own);
    if (!failures)
        std::printf("SharedBlockWineProbe: all checks passed\n");
    return failures ? 1 : 0;
}
