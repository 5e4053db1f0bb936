#include "scan/link/WorkerLink.h"

#include "scan/ScanPlatform.h"
#include "scan/ScanSettings.h"

#include <QByteArray>

#include <charconv>
#include <limits>

namespace velorix::scan::worker {

std::string EncodeLine(const Fields& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        line += QByteArray::fromStdString(fields[i]).toPercentEncoding().toStdString();
    }
    line += '\n';
    return line;
}

Fields DecodeLine(const std::string& line) {
    Fields fields;
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', start);
        const std::string part = text.substr(start, tab == std::string::npos ? tab : tab - start);
        fields.push_back(
            QByteArray::fromPercentEncoding(QByteArray::fromStdString(part)).toStdString());
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

std::string EncodeMessage(std::uint64_t number, const std::string& type, const Fields& args) {
    Fields fields{std::to_string(number), type};
    fields.insert(fields.end(), args.begin(), args.end());
    return EncodeLine(fields);
}

std::optional<Message> DecodeMessage(const std::string& line) {
    Fields fields = DecodeLine(line);
    if (fields.size() < 2 || fields[1].empty())
        return std::nullopt;
    std::uint64_t number = 0;
    const std::string& text = fields[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    Message m{number, std::move(fields[1]), {}};
    m.args.assign(std::make_move_iterator(fields.begin() + 2),
                  std::make_move_iterator(fields.end()));
    return m;
}

std::optional<long long> ParseNumber(const std::string& text, long long min, long long max) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
        value > max)
        return std::nullopt;
    return value;
}

Fields EncodeSettings(const ScanSettings& s) {
    auto n = [](long long v) { return std::to_string(v); };
    return {n(s.documentHandling), n(s.pages),    n(s.pageSize), n(s.colour ? 1 : 0),
            n(s.brightness),       n(s.contrast), n(s.dpi),      n(s.fullArea ? 1 : 0),
            n(s.area[0]),          n(s.area[1]),  n(s.area[2]),  n(s.area[3])};
}

std::optional<ScanSettings> DecodeSettings(const Fields& a) {
    if (a.size() != 12)
        return std::nullopt;
    constexpr long long kInt = std::numeric_limits<std::int32_t>::max();
    const long long limits[12][2] = {{0, 7},      {0, kMaxStackPages}, {0, 1000},   {0, 1},
                                     {-100, 100}, {-100, 100},         {1, 100000}, {0, 1},
                                     {0, kInt},   {0, kInt},           {0, kInt},   {0, kInt}};
    long long v[12];
    for (std::size_t i = 0; i < 12; ++i) {
        const std::optional<long long> x = ParseNumber(a[i], limits[i][0], limits[i][1]);
        if (!x)
            return std::nullopt;
        v[i] = *x;
    }
    ScanSettings s;
    s.documentHandling = static_cast<int>(v[0]);
    s.pages = static_cast<std::int32_t>(v[1]);
    s.pageSize = static_cast<std::int32_t>(v[2]);
    s.colour = v[3] == 1;
    s.brightness = static_cast<std::int32_t>(v[4]);
    s.contrast = static_cast<std::int32_t>(v[5]);
    s.dpi = static_cast<std::int32_t>(v[6]);
    s.fullArea = v[7] == 1;
    for (int k = 0; k < 4; ++k)
        s.area[k] = static_cast<std::int32_t>(v[8 + k]);
    return s;
}

void RaiseBlockError(const std::string& message) {
    throw EPlatformError(message);
}

} // namespace velorix::scan::worker
