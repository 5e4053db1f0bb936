#pragma once
// Every question, message box and file dialog of the program goes through Prompts, so that
// tests can answer them. Commands never open a QMessageBox or QFileDialog themselves.
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

namespace velorix::imaging {
class TOpenImageDialog;
class TSaveImageDialog;
} // namespace velorix::imaging
namespace velorix::printing {
class IPrinter;
} // namespace velorix::printing
namespace velorix::scan {
class IScanProgress;
} // namespace velorix::scan

namespace velorix {

// The progress window of a long command: "Page n sur N", with a cancel button when cancelling
// loses nothing. It stays hidden until the command calls show().
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void setPage(int n, int total) = 0;
    // The window's caption, for a wait of another kind in the same window.
    virtual void setCaption(const QString&) {}
    virtual void show() = 0;
    // The user asked to stop.
    virtual bool cancelled() const = 0;
};

// The questions, message boxes and dialogs the commands show.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A confirmation with the buttons Yes and No; true only for Yes.
    virtual bool confirm(const QString& text) = 0;
    // An information box with one OK button.
    virtual void inform(const QString& text) = 0;
    // A warning box with one OK button.
    virtual void warning(const QString& text) = 0;
    // An error box with one OK button (failed commands end here).
    virtual void error(const QString& text) = 0;
    // An error box with a caption of its own (the mail hand-over's "Erreur").
    virtual void errorWithTitle(const QString& text, const QString&) { error(text); }

    // The image engine's open and save dialogs and the printer-setup dialog. The dialogs keep
    // their own state (file name, type, options); true when the user confirmed. Without a
    // desktop to ask, nothing is chosen.
    virtual bool openImage(imaging::TOpenImageDialog&) { return false; }
    virtual bool saveImage(imaging::TSaveImageDialog&) { return false; }
    virtual bool printerSetup(printing::IPrinter&) { return false; }
    // Shows one of the program's own modal windows (the change-document prompt) and returns
    // its result; tests answer it instead.
    virtual int execDialog(QDialog& dialog) { return dialog.exec(); }
    // A progress window for a command that may last; without a desktop it shows nothing and is
    // never cancelled.
    virtual std::unique_ptr<ProgressWindow> progress(const QString& title, bool cancellable);
    // The window of a scanner call that lasts (listing, connecting, scanning), with "Annuler"
    // when cancellable; the scanner layer's own dialog unless a test answers it.
    virtual std::unique_ptr<scan::IScanProgress>
    scanProgress(const std::string& title, const std::string& text, bool cancellable);
};

// Message boxes over the window given (the application's title as caption).
class QtPrompts final : public Prompts {
public:
    explicit QtPrompts(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    QWidget* owner() const { return owner_; }

    bool confirm(const QString& text) override;
    void inform(const QString& text) override;
    void warning(const QString& text) override;
    void error(const QString& text) override;
    void errorWithTitle(const QString& text, const QString& caption) override;
    bool openImage(imaging::TOpenImageDialog& dialog) override;
    bool saveImage(imaging::TSaveImageDialog& dialog) override;
    bool printerSetup(printing::IPrinter& printer) override;
    std::unique_ptr<ProgressWindow> progress(const QString& title, bool cancellable) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace velorix
