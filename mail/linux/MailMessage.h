#pragma once
// A message as the desktop hand-overs take it: texts in UTF-8, attachments as absolute paths.

#include <QString>
#include <QStringList>

namespace velorix::mail {

struct MailMessage {
    QString to;
    QString subject;
    QString body;
    QStringList attachments;
};

// Outcome of one way of handing the message over; `reason` says why it failed.
struct Attempt {
    bool ok = false;
    QString reason;
};

} // namespace velorix::mail
