#pragma once
// Images named on the command line (or by a file manager's "Ouvrir avec") become pages when the
// window opens, exactly as the open command makes them with "Plusieurs Documents" checked.
#include "app/platform/Prompts.h"

#include <QQueue>
#include <QStringList>

#include <memory>

namespace velorix {

class Tvelorix_2;

// Answers the open command's file dialog and its "another image?" question from the files given
// at start while they are being opened; every other prompt, and everything afterwards, goes to
// the prompts it wraps (error boxes for unreadable files included).
class StartupFilePrompts final : public Prompts {
public:
    explicit StartupFilePrompts(std::shared_ptr<Prompts> inner) : inner_(std::move(inner)) {}

    Prompts& inner() { return *inner_; }

    bool confirm(const QString& text) override;
    void inform(const QString& text) override { inner_->inform(text); }
    void warning(const QString& text) override { inner_->warning(text); }
    void error(const QString& text) override { inner_->error(text); }
    void errorWithTitle(const QString& text, const QString& title) override {
        inner_->errorWithTitle(text, title);
    }
    bool openImage(imaging::TOpenImageDialog& dialog) override;
    bool saveImage(imaging::TSaveImageDialog& dialog) override { return inner_->saveImage(dialog); }
    QString saveFileName(const QString& caption, const QString& filters) override {
        return inner_->saveFileName(caption, filters);
    }
    bool printerSetup(printing::IPrinter& printer) override {
        return inner_->printerSetup(printer);
    }
    int execDialog(QDialog& dialog) override { return inner_->execDialog(dialog); }
    std::unique_ptr<ProgressWindow> progress(const QString& title, bool cancellable) override {
        return inner_->progress(title, cancellable);
    }

private:
    friend void OpenStartupImages(Tvelorix_2&, StartupFilePrompts&, const QStringList&);

    std::shared_ptr<Prompts> inner_;
    QQueue<QString> files_;
    bool active_ = false;
    QWidget* window_ = nullptr; // the window the files open in, while they do
};

// Opens each file as a page: the first fills page 1 (while it still shows its placeholder), the
// others add pages. A file that cannot be read shows its message and the next ones still open.
// The window's prompts must be `prompts`.
void OpenStartupImages(Tvelorix_2& window, StartupFilePrompts& prompts, const QStringList& files);

} // namespace velorix
