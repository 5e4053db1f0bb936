#include "scan/link/WorkerLink.h"

#include "scan/ScanPlatform.h"

#include <QByteArray>

#include <charconv>

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

void RaiseBlockError(const std::string& message) {
    throw EPlatformError(message);
}

} // namespace velorix::scan::worker
