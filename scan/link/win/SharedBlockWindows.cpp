// Blocks as sections backed by the page file. A section lives as long as a handle to it, so the
// worker does not rely on names: it gives the program a handle of the program's own and names
// the block "velorix-scan-section-PID-HANDLE-TAG", PID being the program the handle belongs to
// and TAG a random number that the block's first bytes repeat. The program checks both before
// it keeps or closes a handle: a wrong name from a confused worker must not cost the program one
// of its own handles.
#include "scan/link/SharedBlock.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>

namespace velorix::scan::worker {

namespace {

constexpr char kPrefix[] = "velorix-scan-section-";
constexpr char kMagic[8] = {'V', 'L', 'X', 'B', 'L', 'O', 'C', 'K'};

// What the block's first bytes hold; the page's data follows, at an aligned offset.
struct Header {
    char magic[8];
    std::uint64_t tag;
    std::uint64_t size;
};
constexpr std::size_t kDataOffset = 64;
static_assert(sizeof(Header) <= kDataOffset);

std::atomic<unsigned long> receiver{0};

struct BlockName {
    DWORD process = 0;
    HANDLE handle = nullptr;
    std::uint64_t tag = 0;
};

std::string Hex(std::uint64_t value, int width) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 15]);
        value >>= 4;
    } while (value || static_cast<int>(text.size()) < width);
    return text;
}

std::string Format(const BlockName& name) {
    return kPrefix + std::to_string(name.process) + "-" +
           Hex(reinterpret_cast<std::uintptr_t>(name.handle), 1) + "-" + Hex(name.tag, 16);
}

// The name's parts when it is exactly as Format writes it, for this process.
bool Parse(const std::string& text, BlockName& name) {
    const std::size_t prefix = sizeof(kPrefix) - 1;
    if (text.size() > 80 || text.compare(0, prefix, kPrefix) != 0)
        return false;
    std::uint64_t parts[3] = {0, 0, 0};
    std::size_t at = prefix;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find('-', at) : text.size();
        if (end == std::string::npos || end == at || end - at > 16)
            return false;
        for (std::size_t k = at; k < end; ++k) {
            const char c = text[k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0 || (i == 0 && digit > 9))
                return false;
            parts[i] = parts[i] * (i == 0 ? 10 : 16) + static_cast<std::uint64_t>(digit);
        }
        at = end + 1;
    }
    if (parts[0] > 0xffffffffu || parts[1] == 0)
        return false;
    name.process = static_cast<DWORD>(parts[0]);
    name.handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(parts[1]));
    name.tag = parts[2];
    // Leading zeros and the like would let two texts name one handle.
    return Format(name) == text && name.process == ::GetCurrentProcessId();
}

// Whether the handle is a section whose first bytes carry the name's tag: mapped for reading
// only, and read through a call that fails rather than faults on memory that is not there.
bool Carries(const BlockName& name, std::uint64_t& size) {
    void* view = ::MapViewOfFile(name.handle, FILE_MAP_READ, 0, 0, sizeof(Header));
    if (!view)
        return false;
    Header header{};
    SIZE_T read = 0;
    const bool ours =
        ::ReadProcessMemory(::GetCurrentProcess(), view, &header, sizeof header, &read) &&
        read == sizeof header && std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 &&
        header.tag == name.tag;
    ::UnmapViewOfFile(view);
    size = header.size;
    return ours;
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length) {
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr,
                                                0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(std::max(bytes, 0)));
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), bytes,
                              nullptr, nullptr);
    }
    ::LocalFree(text);
    while (!utf8.empty() &&
           (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ' || utf8.back() == '.'))
        utf8.pop_back();
    return utf8.empty() ? "erreur " + std::to_string(code) : utf8;
}

[[noreturn]] void RaiseUnavailable(DWORD code) {
    if (code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_COMMITMENT_LIMIT ||
        code == ERROR_OUTOFMEMORY)
        RaiseBlockError("Mémoire insuffisante pour l'image scannée");
    RaiseBlockError("Mémoire partagée indisponible : " + SystemMessage(code));
}

struct Closer {
    HANDLE handle;
    ~Closer() {
        if (handle)
            ::CloseHandle(handle);
    }
};

} // namespace

void SharedBlock::SetReceiver(unsigned long processId) {
    receiver = processId;
}

std::string SharedBlock::Publish(const unsigned char* data, std::size_t size,
                                 const std::function<void(const std::string&)>& named) {
    const auto process = static_cast<DWORD>(receiver.load());
    if (!process)
        RaiseBlockError("Mémoire partagée indisponible : programme destinataire inconnu");
    const std::uint64_t total = kDataOffset + std::max<std::size_t>(size, 1);
    // Committed in full now, so that a lack of memory shows here rather than as a fault while
    // filling it.
    Closer section{::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                        static_cast<DWORD>(total >> 32), static_cast<DWORD>(total),
                                        nullptr)};
    if (!section.handle)
        RaiseUnavailable(::GetLastError());
    auto* view =
        static_cast<unsigned char*>(::MapViewOfFile(section.handle, FILE_MAP_WRITE, 0, 0, 0));
    if (!view)
        RaiseUnavailable(::GetLastError());
    std::random_device random;
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.tag = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    header.size = size;
    std::memcpy(view, &header, sizeof header);

    BlockName name;
    name.process = process;
    name.tag = header.tag;
    Closer program{::OpenProcess(PROCESS_DUP_HANDLE, FALSE, name.process)};
    if (!program.handle || !::DuplicateHandle(::GetCurrentProcess(), section.handle, program.handle,
                                              &name.handle, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        const DWORD code = ::GetLastError();
        ::UnmapViewOfFile(view);
        RaiseUnavailable(code);
    }
    const std::string text = Format(name);
    try {
        named(text); // at its full size, so the program may open it now
    } catch (...) {
        // The program will not hear of its handle: it goes, in the program's process.
        ::DuplicateHandle(program.handle, name.handle, nullptr, nullptr, 0, FALSE,
                          DUPLICATE_CLOSE_SOURCE);
        ::UnmapViewOfFile(view);
        throw;
    }
    if (size)
        std::memcpy(view + kDataOffset, data, size);
    ::UnmapViewOfFile(view);
    return text;
}

std::unique_ptr<SharedBlock> SharedBlock::Open(const std::string& text, std::size_t size) {
    BlockName name;
    if (!Parse(text, name))
        RaiseBlockError("Mémoire partagée inconnue");
    std::uint64_t published = 0;
    if (!Carries(name, published))
        RaiseBlockError("Mémoire partagée introuvable");
    // Ours from here on: opening removes the name, whatever comes next.
    Closer section{name.handle};
    const std::size_t mapped = std::max<std::size_t>(size, 1);
    // The header is the worker's word; the view's length, which the system checks against the
    // section, is the proof.
    if (std::max<std::uint64_t>(published, 1) < mapped || mapped > SIZE_MAX - kDataOffset)
        RaiseBlockError("Mémoire partagée illisible");
    void* view = ::MapViewOfFile(name.handle, FILE_MAP_ALL_ACCESS, 0, 0, kDataOffset + mapped);
    if (!view)
        RaiseBlockError("Mémoire partagée illisible");
    return std::unique_ptr<SharedBlock>(
        new SharedBlock(text, view, static_cast<unsigned char*>(view) + kDataOffset, mapped));
}

void SharedBlock::Discard(const std::string& text) {
    BlockName name;
    std::uint64_t published = 0;
    if (Parse(text, name) && Carries(name, published))
        ::CloseHandle(name.handle);
}

void SharedBlock::SweepOrphans() {}

void SharedBlock::Read(unsigned char* dest, std::size_t offset, std::size_t size) const {
    if (offset > size_ || size > size_ - offset)
        RaiseBlockError("Image scannée incomplète");
    if (size)
        std::memcpy(dest, data_ + offset, size);
}

SharedBlock::~SharedBlock() {
    ::UnmapViewOfFile(view_);
}

} // namespace velorix::scan::worker
