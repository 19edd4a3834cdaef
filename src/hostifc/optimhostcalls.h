#pragma once

// Calls into the host's script interpreter by text, evaluated in the
// plug-in's module "CmdOp". Every value that comes back is released here.

#include <QByteArray>
#include <QString>

class MoxIFC;

class OptimHostCalls
{
public:
    explicit OptimHostCalls(MoxIFC *mox) : m_mox(mox) {}

    MoxIFC *mox() const { return m_mox; }

    // Runs a call; true when it yielded a value.
    bool run(const QByteArray &callText) const;
    // Runs a call and answers its string result; empty when the result is
    // missing or not a string.
    QByteArray stringResult(const QByteArray &callText) const;
    // Whether the host knows a script word (find_word).
    bool hasWord(const QByteArray &word) const;

    // A script string literal: double quotes, with backslash and quote escaped.
    static QByteArray quoted(const QByteArray &text);

    // The host calls the plug-in makes.
    QByteArray currentSimulatorId() const { return stringResult("desim_get_current_simulator_id()"); }
    // The current top design name with native separators as forward slashes.
    QByteArray currentTopDesignName() const;
    bool stopAndReleaseSimulator() const { return run("desim_stop_and_release_simulator();"); }
    bool postHelp(const QString &topic) const { return run("de_post_help(" + quoted(topic.toUtf8()) + ")"); }

private:
    MoxIFC *m_mox;
};
