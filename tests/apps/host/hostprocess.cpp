#include "hostprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

// One wait of at most 100 ms within deadline.
static int slice(const QDeadlineTimer &deadline)
{
    return int(std::min<qint64>(100, std::max<qint64>(1, deadline.remainingTime())));
}

QProcessEnvironment HostProcess::environment(const QTemporaryDir &dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false;qt.qpa.*=false"));
    // The helmdeck's settings and the bus socket stay in the test's directory.
    QDir(dir.path()).mkpath(QStringLiteral("config"));
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("HOME"), dir.path());
    return env;
}

QStringList HostProcess::commonArguments(const QTemporaryDir &dir, const QString &plugin)
{
    return {QStringLiteral("--plugin"), plugin.isEmpty() ? QStringLiteral(PLUGIN_PATH) : plugin, QStringLiteral("--sim"), QStringLiteral(SIM_PATH),
            QStringLiteral("--kuvo"), dir.filePath(QStringLiteral("run/kuvo"))};
}

HostProcess::HostProcess(const QTemporaryDir &dir)
    : m_dir(dir)
{
    m_process.setProcessEnvironment(environment(dir));
    m_process.setProgram(QStringLiteral(HOST_PATH));
}

HostProcess::~HostProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        finish(10000);
}

bool HostProcess::start(const QStringList &extra, const QString &plugin)
{
    QStringList arguments = commonArguments(m_dir, plugin);
    arguments << QStringLiteral("--console") << QStringLiteral("--trace") << extra;
    m_process.setArguments(arguments);
    m_process.start();
    return m_process.waitForStarted(10000);
}

void HostProcess::collect()
{
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
    qsizetype newline;
    while ((newline = m_stderr.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_stderr.left(newline));
        m_stderr.remove(0, newline + 1);
        if (line.startsWith(QLatin1String("trace: ")))
            m_trace.append(line.mid(7));
        else
            m_errors.append(line);
    }
}

QByteArray HostProcess::eval(const QByteArray &expression, int timeoutMs)
{
    m_process.write(expression + '\n');
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        collect();
        const qsizetype newline = m_stdout.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = m_stdout.left(newline);
            m_stdout.remove(0, newline + 1);
            return line;
        }
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return QByteArray();
        m_process.waitForReadyRead(slice(deadline));
    }
}

bool HostProcess::evalUntil(const QByteArray &expression, const QByteArray &expected, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (eval(expression, int(std::max<qint64>(1000, deadline.remainingTime()))) == expected)
            return true;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
    }
}

int HostProcess::waitForTrace(const QRegularExpression &pattern, int from, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        collect();
        for (int i = std::max(0, from); i < m_trace.size(); ++i)
            if (pattern.match(m_trace.at(i)).hasMatch())
                return i;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return -1;
        m_process.waitForReadyRead(slice(deadline));
    }
}

int HostProcess::finish(int timeoutMs)
{
    m_process.closeWriteChannel();
    const QDeadlineTimer deadline(timeoutMs);
    while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForFinished(slice(deadline));
        collect();
    }
    const bool hung = m_process.state() != QProcess::NotRunning;
    if (hung) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    collect();
    return !hung && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
