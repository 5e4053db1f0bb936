#include "mail/MailRequest.h"

#include <algorithm>

namespace velorix::mail {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

} // namespace

void TMailRequest::Add(std::string_view name, std::string_view value) {
    std::string line(name);
    line += '=';
    line += value;
    lines_.push_back(std::move(line));
}

std::string TMailRequest::Value(std::string_view name) const {
    for (const std::string& line : lines_) {
        const std::size_t eq = line.find('=');
        // A line without "=" is all name: found, with nothing after it.
        const std::string_view lineName =
            std::string_view(line).substr(0, eq == std::string::npos ? line.size() : eq);
        if (sameName(lineName, name))
            return eq == std::string::npos ? std::string() : line.substr(eq + 1);
    }
    return {};
}

std::vector<std::string> TMailRequest::Attachments() const {
    std::vector<std::string> paths;
    for (int k = 0;; ++k) {
        std::string path = Value("attachment" + std::to_string(k));
        if (path.empty())
            return paths;
        paths.push_back(std::move(path));
    }
}

std::string AttachmentDisplayName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

} // namespace velorix::mail
