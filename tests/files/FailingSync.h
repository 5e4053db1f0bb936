// Driving the preloaded failing-sync library (FailingSync.c): in this process while a guard
// lives, or in a child process through its environment.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

#include <cstdlib>

namespace velorix::testing {

// The refusals the save tests go through, with the words their message must hold.
struct RefusedSync {
    const char* error;
    const char* on;
    const char* reason; // UTF-8
};
inline constexpr RefusedSync kRefusedSyncs[] = {{"EDQUOT", "file", "disque plein"},
                                                {"EIO", "file", "entrée-sortie"},
                                                {"ENOSPC", "folder", "disque plein"}};

class FailingSync {
public:
    // error: "EDQUOT", "ENOSPC" or "EIO"; on: "file" or "folder".
    FailingSync(const char* error, const char* on) {
        ::setenv("VELORIX_FAIL_SYNC", error, 1);
        ::setenv("VELORIX_FAIL_SYNC_ON", on, 1);
    }
    ~FailingSync() {
        ::unsetenv("VELORIX_FAIL_SYNC");
        ::unsetenv("VELORIX_FAIL_SYNC_ON");
    }
    FailingSync(const FailingSync&) = delete;
    FailingSync& operator=(const FailingSync&) = delete;

    // A child's environment with the library preloaded and failing as asked.
    static QProcessEnvironment childEnvironment(QProcessEnvironment env, const QString& library,
                                                const char* error, const char* on) {
        env.insert(QStringLiteral("LD_PRELOAD"), library);
        QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
        env.insert(QStringLiteral("VELORIX_FAIL_SYNC"), QString::fromLatin1(error));
        env.insert(QStringLiteral("VELORIX_FAIL_SYNC_ON"), QString::fromLatin1(on));
        return env;
    }
};

} // namespace velorix::testing
