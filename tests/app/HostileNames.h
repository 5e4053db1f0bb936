// File and folder names that break whatever passes paths through a shell or splits them: spaces,
// quotes, a new line, a leading dash, text beyond ASCII, command substitution and separators.
// A name that reached a shell would run "touch pwned" in the current folder.
#pragma once

#include <QDir>
#include <QStringList>

namespace velorix::testing {

inline QStringList hostileNames() {
    return {
        QStringLiteral("avec des espaces"),  QStringLiteral("guillemets \"doubles\" et 'simples'"),
        QStringLiteral("deux\nlignes"),      QStringLiteral("-commence par un tiret"),
        QStringLiteral("été à Noël € 日本"), QStringLiteral("$(touch pwned)"),
        QStringLiteral("a; touch pwned;"),   QStringLiteral("`touch pwned` & | > x"),
    };
}

// A folder whose own name is hostile, made inside parent.
inline QString hostileFolder(const QString& parent) {
    const QString path = parent + QStringLiteral("/dossier $(touch pwned); 'q' \"d\" é\n-x");
    QDir().mkpath(path);
    return path;
}

} // namespace velorix::testing
