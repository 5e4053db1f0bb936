#pragma once
// Test doubles for the window's services: prompts answered from a script, settings in memory,
// a shell that records what it was asked to open.
#include "app/platform/Prompts.h"
#include "app/platform/Services.h"
#include "app/platform/Settings.h"
#include "app/platform/Shell.h"

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QQueue>
#include <QTest>

#include <functional>
#include <memory>

// What the progress windows of a command showed; a test may cancel at a page or at any time.
struct ProgressLog {
    QStringList pages;     // "Page n sur N", in the order shown
    QStringList captioned; // the same after the caption, once a caption was set
    qint64 shownAfterMs = -1;
    int cancelAtPage = 0;  // 0: never
    QString cancelCaption; // when set, cancelAtPage counts only under this caption
    bool cancelNow = false;
    QString caption;
};

class ScriptedProgress : public velorix::ProgressWindow {
public:
    explicit ScriptedProgress(ProgressLog& log) : log_(log) { clock_.start(); }
    void setPage(int n, int total) override {
        log_.pages << QStringLiteral("Page %1 sur %2").arg(n).arg(total);
        if (!log_.caption.isEmpty())
            log_.captioned << log_.caption + QStringLiteral(": ") + log_.pages.last();
        if (log_.cancelAtPage == n &&
            (log_.cancelCaption.isEmpty() || log_.cancelCaption == log_.caption))
            log_.cancelNow = true;
    }
    void setCaption(const QString& caption) override { log_.caption = caption; }
    void show() override { log_.shownAfterMs = clock_.elapsed(); }
    bool cancelled() const override { return log_.cancelNow; }

private:
    ProgressLog& log_;
    QElapsedTimer clock_;
};

class ScriptedPrompts : public velorix::Prompts {
public:
    enum class Kind { Confirm, Inform, Warning, Error };
    struct Seen {
        Kind kind;
        QString text;
    };

    // Queues the answer to the next confirmation; a text, when given, must match.
    void answer(bool yes, const QString& expected = {}) { answers_.enqueue({yes, expected}); }
    bool allAnswered() const { return answers_.isEmpty(); }

    QList<Seen> seen;
    QStringList texts(Kind kind) const {
        QStringList out;
        for (const Seen& s : seen)
            if (s.kind == kind)
                out << s.text;
        return out;
    }

    // Looks at the window while a question is up (what a command has done so far).
    std::function<void(const QString&)> whenAsked;
    bool confirm(const QString& text) override {
        seen << Seen{Kind::Confirm, text};
        if (whenAsked)
            whenAsked(text);
        if (answers_.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected question: ") + text), __FILE__,
                         __LINE__);
            return false;
        }
        const auto [yes, expected] = answers_.dequeue();
        if (!expected.isEmpty() && expected != text)
            QTest::qFail(qPrintable(QStringLiteral("question was: ") + text), __FILE__, __LINE__);
        return yes;
    }
    ProgressLog progressLog;
    std::unique_ptr<velorix::ProgressWindow> progress(const QString&, bool) override {
        return std::make_unique<ScriptedProgress>(progressLog);
    }

    // The program's own modal windows (the change-document prompt) are answered at once.
    int dialogsShown = 0;
    int execDialog(QDialog&) override {
        ++dialogsShown;
        return 1; // QDialog::Accepted
    }

    void inform(const QString& text) override { seen << Seen{Kind::Inform, text}; }
    void warning(const QString& text) override { seen << Seen{Kind::Warning, text}; }
    void error(const QString& text) override { seen << Seen{Kind::Error, text}; }
    QStringList errorTitles;
    void errorWithTitle(const QString& text, const QString& title) override {
        errorTitles << title;
        error(text);
    }

private:
    struct Answer {
        bool yes;
        QString expected;
    };
    QQueue<Answer> answers_;
};

class MemorySettings : public velorix::SettingsStore {
public:
    bool exists = false;
    QMap<QString, QString> values;

    bool available() const override { return true; }
    bool keyExists() const override { return exists; }
    std::optional<QString> read(const QString& name) const override {
        if (!exists || !values.contains(name))
            return std::nullopt;
        return values.value(name);
    }
    void write(const QString& name, const QString& value) override {
        exists = true;
        values[name] = value;
    }
};

class RecordingShell : public velorix::Shell {
public:
    QList<QUrl> opened;
    bool available() const override { return true; }
    bool open(const QUrl& target) override {
        opened << target;
        return true;
    }
};

struct TestServices {
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<RecordingShell> shell = std::make_shared<RecordingShell>();

    velorix::Services services() const {
        velorix::Services s;
        s.prompts = prompts;
        s.settings = settings;
        s.shell = shell;
        s.clock = [] { return QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)); };
        return s;
    }
};
