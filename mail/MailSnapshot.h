#pragma once
// Files handed to a mail client are snapshots: the client reads them when it likes, perhaps
// after another export has rewritten the original or the program has ended, so each hand-over
// gets its own unchanging copy in a folder of its own.

#include <QDateTime>
#include <QString>

namespace velorix::mail {

// Where the snapshots live: the user's cache folder, "velorix/mail".
QString MailSnapshotBase();

// Copies `source` into a new folder under `base` (created as needed) whose name holds only
// letters, digits and "-", and returns the copy's path; the copy keeps the file name. Empty
// when the copy cannot be made.
QString SnapshotForMail(const QString& source, const QString& base, const QDateTime& now);

// Removes the snapshot folders under `base` made more than seven days before `now`. Anything
// that is not one of our snapshot folders is left alone.
void PruneMailSnapshots(const QString& base, const QDateTime& now);

} // namespace velorix::mail
