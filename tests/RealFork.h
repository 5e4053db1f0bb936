// Child processes of tests that run under the thread checker. Qt starts a process with a
// vfork-style clone whose child runs in the same memory, on a stack carved from the calling
// thread's own; the checker does not see that clone, counts the child's steps as the thread's
// and then reports races on that thread's stack that never happened. A plain fork, which the
// checker follows, starts these instead.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velorix::testing {

// Runs program with args to its end; its standard output and error go to *output. Returns its
// exit code, or -1 when it could not run or was killed.
inline int RunForked(const QString& program, const QStringList& args,
                     QByteArray* output = nullptr) {
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& arg : args)
        words.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return -1;
    }
    if (pid == 0) {
        ::dup2(pipe[1], STDOUT_FILENO);
        ::dup2(pipe[1], STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    QByteArray out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace velorix::testing
