#pragma once

// A helmdeck-host process for end-to-end tests: started with --console and
// --trace on a private bus, with its settings and runtime directories in a
// temporary directory. Expressions go in on standard input, one result line
// comes back per expression; the trace is read from standard error. Every
// wait is bounded.

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

class HostProcess
{
public:
    // Paths of the built programs and a private environment.
    static QProcessEnvironment environment(const QTemporaryDir &dir);
    // --plugin, --sim and --kuvo; plugin replaces the built plug-in when given.
    static QStringList commonArguments(const QTemporaryDir &dir, const QString &plugin = QString());

    explicit HostProcess(const QTemporaryDir &dir);
    ~HostProcess();

    // Starts the host with the common arguments, --console, --trace and extra.
    bool start(const QStringList &extra, const QString &plugin = QString());
    // Sends one expression and answers its result line; empty (and a failed
    // check in the caller) when none came within timeoutMs.
    QByteArray eval(const QByteArray &expression, int timeoutMs = 20000);
    // Evaluates until the result equals expected, at most timeoutMs.
    bool evalUntil(const QByteArray &expression, const QByteArray &expected, int timeoutMs = 30000);
    // Waits for a trace line matching pattern at or after line index from;
    // answers its index, or -1.
    int waitForTrace(const QRegularExpression &pattern, int from = 0, int timeoutMs = 30000);
    // The trace lines ("trace: " removed) and every other standard error line.
    QStringList traceLines() { collect(); return m_trace; }
    QStringList errorLines() { collect(); return m_errors; }
    // Closes standard input (the host quits) and waits for the exit code; -1
    // when the host had to be killed.
    int finish(int timeoutMs = 20000);

    QProcess &process() { return m_process; }

private:
    void collect();

    const QTemporaryDir &m_dir;
    QProcess m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
    QStringList m_trace;
    QStringList m_errors;
};
