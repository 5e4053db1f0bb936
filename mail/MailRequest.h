#pragma once
// The mail request: an ordered list of "name=value" lines, the one shape in which the program
// asks for a mail. Standard library only, so that the Windows hand-over builds without Qt.

#include <string>
#include <string_view>
#include <vector>

namespace velorix::mail {

class TMailRequest {
public:
    TMailRequest() = default;
    explicit TMailRequest(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    // Appends the line "name=value".
    void Add(std::string_view name, std::string_view value);
    const std::vector<std::string>& Lines() const { return lines_; }

    // The value of the first line whose name (the text before the first "=") equals `name`
    // without regard to ASCII case; empty when there is no such line or nothing follows "=".
    std::string Value(std::string_view name) const;
    // Empty means absent.
    bool Has(std::string_view name) const { return !Value(name).empty(); }

    // "attachment0", "attachment1", ... up to the first number that is absent.
    std::vector<std::string> Attachments() const;

private:
    std::vector<std::string> lines_;
};

// What follows the last "\" or ":" of a path (the whole path when it holds neither): the name
// under which the mail client shows an attachment.
std::string AttachmentDisplayName(std::string_view path);

} // namespace velorix::mail
