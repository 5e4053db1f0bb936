#pragma once
// Files handed to a mail client are snapshots: the client reads them when it likes, perhaps
// after another export has rewritten the original or the program has ended, so each hand-over
// gets its own unchanging copy in a folder of its own. The copies are the user's scans: only the
// user may read them, and the clean-up removes nothing but the folders it made.

#include <QDateTime>
#include <QString>

namespace velorix::mail {

// Where the snapshots live: the user's cache folder, "velorix/mail".
QString MailSnapshotBase();
// Where they live for a mail client in a Snap or Flatpak sandbox, which cannot read the hidden
// folders of the home folder: "velorix-mail" in the downloads folder.
QString SandboxMailSnapshotBase();

// Copies `source` into a new folder under `base` whose name holds only letters, digits and
// "-", and returns the copy's path; the copy keeps the file name. Missing folders of `base` are
// made readable by the user alone (0700), as is each snapshot folder; the copy is 0400. Empty
// when the copy cannot be made, when `base` is a link, or when its parent is a link the user
// does not own (one of the user's, such as a downloads folder on another disk, is followed).
QString SnapshotForMail(const QString& source, const QString& base, const QDateTime& now);

// Removes the snapshot folders under `base` made more than seven days before `now`. Anything
// that is not one of our snapshot folders (a link, a file, another name, another owner's
// folder) is left alone, and no link is followed, inside a snapshot or as `base` itself.
void PruneMailSnapshots(const QString& base, const QDateTime& now);

} // namespace velorix::mail
