#pragma once
// Hands a document or a web address to the desktop's default program.
#include <QString>
#include <QUrl>

#include <memory>

namespace velorix {

// Opens files and web addresses in the desktop's default program.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool available() const = 0;
    // Opens a web address or a local file in the default program. The result tells whether
    // the desktop accepted the request; callers that do not care may ignore it.
    virtual bool open(const QUrl& target) = 0;
    bool openFile(const QString& path) { return open(QUrl::fromLocalFile(path)); }
};

// Opens nothing and says so.
class NullShell final : public Shell {
public:
    bool available() const override { return false; }
    bool open(const QUrl&) override { return false; }
};

// The desktop's shell; VELORIX_SHELL=null forces the null backend (tests never open a browser).
std::unique_ptr<Shell> loadShell();

} // namespace velorix
