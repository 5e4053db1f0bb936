#pragma once
// The link between the program and its scanner worker: text messages one a line, fields
// separated by tabs and percent-encoded, over descriptors of the worker's own (it points the
// drivers' standard output at its standard error, so that no driver can speak on the link);
// pictures in shared memory (SharedBlock.h). Nothing here relies on fork or on Unix sockets, so
// a Windows build maps it to a child process with pipes and a section handed over by handle.
//
// Every message is its number, its type, then its arguments. The program numbers its requests
// from 1; every answer of the worker carries the number of the request it answers, and "ready",
// sent once at start, carries 0. Requests: "preset NAME VALUE" (no answer), "list" (answered by
// "device NAME VENDOR MODEL TYPE" lines, then "ok"), "open NAME", "set SCOPE ID KIND VALUE" and
// "table" (answered by "ok" and the property table), "scan" (answered by "progress RECEIVED
// EXPECTED" lines, then "block NAME SIZE" and "picture ...", or "cancelled"), "cancel" carrying
// the number of the scan to stop. Any request may be answered by "error MESSAGE".
//
// "stack SETTINGS" (EncodeSettings) writes every setting in the settings step's order, then
// scans page after page in one session: each page is "progress" lines, "block" and "picture"
// as for "scan", and the program answers each picture with "took" carrying the stack's number
// (the worker stays at most two pages ahead of it). The stack ends with "done" (its pages, or
// the feeder ran out after one page at least), "empty" (nothing in the feeder), "cancelled",
// "refused incompatible|resolution", or "failed REASON MESSAGE" (REASON: jam, cover or other).

#include "scan/link/SharedBlock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velorix::scan {
struct ScanSettings;
}

namespace velorix::scan::worker {

using Fields = std::vector<std::string>;

// One message as a line (with its newline) and back; fields hold any bytes.
std::string EncodeLine(const Fields& fields);
Fields DecodeLine(const std::string& line);

struct Message {
    std::uint64_t number = 0;
    std::string type;
    Fields args;
};
std::string EncodeMessage(std::uint64_t number, const std::string& type, const Fields& args = {});
// Nothing when the line is no message: its first field no number, or no type.
std::optional<Message> DecodeMessage(const std::string& line);

// A stack's settings as the request's arguments, and back; nothing when a field is missing or
// out of its range.
Fields EncodeSettings(const velorix::scan::ScanSettings& settings);
std::optional<velorix::scan::ScanSettings> DecodeSettings(const Fields& args);

// The most pages one stack makes, for a feeder that never says it is empty.
inline constexpr int kMaxStackPages = 1000;

// A decimal number in [min, max] that is the whole text; nothing otherwise.
std::optional<long long> ParseNumber(const std::string& text, long long min, long long max);

// What the program takes from a worker at most: a longer line, or more scanners in a listing,
// and the worker is stopped.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxDevices = 1000;

} // namespace velorix::scan::worker
