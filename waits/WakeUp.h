// A call to a function on the thread an object lives on, asked for from any thread.
#pragma once

#include <QObject>

#include <functional>
#include <utility>

// Only a named call crosses the threads, its event built and freed inside Qt; whatever the
// function reads is handed over by the caller's own locks or atomics. A queued lambda would carry
// its captures through Qt's event queue, whose locks a thread checker cannot see.
class TWakeUp : public QObject {
    Q_OBJECT
public:
    explicit TWakeUp(std::function<void()> call, QObject* parent = nullptr)
        : QObject(parent), FCall(std::move(call)) {}

    // Any thread: the function runs on this object's thread later; never once it is gone.
    void Post() { QMetaObject::invokeMethod(this, "Wake", Qt::QueuedConnection); }

private slots:
    void Wake() { FCall(); }

private:
    std::function<void()> FCall;
};
