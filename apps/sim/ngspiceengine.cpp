#include "ngspiceengine.h"

#include <ngspice/sharedspice.h>

#include <QRegularExpression>

#include <dlfcn.h>

#include <vector>

struct NgspiceEngine::Api
{
    decltype(&ngSpice_Init) init = nullptr;
    decltype(&ngSpice_Circ) circ = nullptr;
    decltype(&ngSpice_Command) command = nullptr;
    decltype(&ngGet_Vec_Info) vectorInfo = nullptr;
    decltype(&ngSpice_AllPlots) allPlots = nullptr;
    decltype(&ngSpice_AllVecs) allVectors = nullptr;
};

NgspiceEngine &NgspiceEngine::instance()
{
    static NgspiceEngine engine;
    return engine;
}

NgspiceEngine::~NgspiceEngine()
{
    // The library is left loaded at exit: unloading it while its own exit
    // handlers may still run gains nothing.
    delete m_api;
}

void NgspiceEngine::setLibrary(const QString &path)
{
    m_library = path;
}

bool NgspiceEngine::initialize(QString *error)
{
    if (!m_initTried) {
        m_initTried = true;
        if (!load(&m_initError))
            unload();
    }
    if (!m_initError.isEmpty() && error)
        *error = m_initError;
    return m_handle != nullptr;
}

bool NgspiceEngine::load(QString *error)
{
    const QByteArray file = m_library.toLocal8Bit();
    m_handle = dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *why = dlerror();
        *error = QStringLiteral("cannot load the ngspice shared library %1: %2")
                     .arg(m_library, QString::fromLocal8Bit(why ? why : "unknown error"));
        return false;
    }
    if (!m_api)
        m_api = new Api;
    m_api->init = reinterpret_cast<decltype(Api::init)>(dlsym(m_handle, "ngSpice_Init"));
    m_api->circ = reinterpret_cast<decltype(Api::circ)>(dlsym(m_handle, "ngSpice_Circ"));
    m_api->command = reinterpret_cast<decltype(Api::command)>(dlsym(m_handle, "ngSpice_Command"));
    m_api->vectorInfo = reinterpret_cast<decltype(Api::vectorInfo)>(dlsym(m_handle, "ngGet_Vec_Info"));
    m_api->allPlots = reinterpret_cast<decltype(Api::allPlots)>(dlsym(m_handle, "ngSpice_AllPlots"));
    m_api->allVectors = reinterpret_cast<decltype(Api::allVectors)>(dlsym(m_handle, "ngSpice_AllVecs"));
    if (!m_api->init || !m_api->circ || !m_api->command || !m_api->vectorInfo || !m_api->allPlots || !m_api->allVectors) {
        *error = QStringLiteral("%1 is not an ngspice shared library (ngSpice_Init, ngSpice_Circ, ngSpice_Command, "
                                "ngGet_Vec_Info, ngSpice_AllPlots or ngSpice_AllVecs missing)").arg(m_library);
        return false;
    }
    m_errorLines.clear();
    m_needsReload = false;
    const int rc = m_api->init(&NgspiceEngine::onSendChar, &NgspiceEngine::onSendStat,
                               &NgspiceEngine::onControlledExit, nullptr, nullptr,
                               &NgspiceEngine::onBackgroundThread, this);
    if (rc != 0 || m_needsReload) {
        *error = QStringLiteral("ngSpice_Init failed (%1)%2").arg(rc).arg(messages());
        return false;
    }
    return true;
}

void NgspiceEngine::unload()
{
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
}

QString NgspiceEngine::messages() const
{
    return m_errorLines.isEmpty() ? QString() : QStringLiteral(": ") + m_errorLines.join(QStringLiteral("; "));
}

bool NgspiceEngine::command(const QString &text)
{
    QByteArray bytes = text.toLatin1();
    return m_api->command(bytes.data()) == 0 && !m_needsReload;
}

bool NgspiceEngine::run(const QStringList &netlist, QString *error)
{
    QString failure;
    const auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };
    finish();
    m_errorLines.clear();
    if (!initialize(&failure))
        return fail(failure);
    if (m_needsReload) {
        // ngspice gave up after the previous error: start it afresh.
        unload();
        ++m_reloads;
        if (!load(&failure)) {
            unload();
            m_initError = failure;
            return fail(failure);
        }
    }
    ++m_runs;
    m_errorLines.clear();

    std::vector<QByteArray> storage;
    storage.reserve(size_t(netlist.size()));
    std::vector<char *> lines;
    for (const QString &line : netlist) {
        storage.push_back(line.toLatin1());
        lines.push_back(storage.back().data());
    }
    lines.push_back(nullptr);

    m_loaded = true;
    if (m_api->circ(lines.data()) != 0 || m_needsReload) {
        finish();
        return fail(QStringLiteral("ngspice did not accept the netlist"));
    }
    if (!command(QStringLiteral("run"))) {
        finish();
        return fail(QStringLiteral("the ngspice analysis failed"));
    }
    return true;
}

void NgspiceEngine::finish()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    m_temporaries = 0;
    if (!m_needsReload) {
        m_api->command(const_cast<char *>("remcirc"));
        m_api->command(const_cast<char *>("destroy all"));
        // Every command ngspice executes stays in its list of control
        // structures (about 150 bytes each) until a null command clears
        // the list: without this the process grows with every run.
        m_api->command(nullptr);
    }
}

bool NgspiceEngine::hasResult()
{
    if (!m_loaded || m_needsReload)
        return false;
    char **plots = m_api->allPlots();
    for (int p = 0; plots && plots[p]; ++p) {
        // A failed analysis leaves a plot of empty vectors behind.
        if (qstrcmp(plots[p], "const") != 0) {
            const QByteArray plot(plots[p]);
            char **vectors = m_api->allVectors(plots[p]);
            SimVector v;
            if (vectors && vectors[0] && vector(QString::fromLatin1(plot + '.' + vectors[0]), v))
                return true;
        }
    }
    return false;
}

bool NgspiceEngine::selectPlotWith(const QString &vector)
{
    if (!m_loaded || m_needsReload)
        return false;
    char **plots = m_api->allPlots();
    for (int p = 0; plots && plots[p]; ++p) {
        const QByteArray plot(plots[p]);
        char **vectors = m_api->allVectors(plots[p]);
        for (int v = 0; vectors && vectors[v]; ++v) {
            if (vector.compare(QLatin1String(vectors[v]), Qt::CaseInsensitive) == 0)
                return command(QStringLiteral("setplot ") + QString::fromLatin1(plot));
        }
    }
    return false;
}

bool NgspiceEngine::vector(const QString &name, SimVector &out)
{
    if (!m_loaded || m_needsReload)
        return false;
    // ngGet_Vec_Info answers a pointer into one static record: copy at once.
    QByteArray n = name.toLatin1();
    m_capturing = true;  // a missing vector is an answer here, not an error line
    const pvector_info info = m_api->vectorInfo(n.data());
    m_capturing = false;
    m_captured.clear();
    if (!info || info->v_length <= 0)
        return false;
    out.values.resize(size_t(info->v_length));
    out.complex = info->v_compdata != nullptr;
    for (int i = 0; i < info->v_length; ++i) {
        out.values[size_t(i)] = out.complex ? std::complex<double>(info->v_compdata[i].cx_real, info->v_compdata[i].cx_imag)
                                            : std::complex<double>(info->v_realdata ? info->v_realdata[i] : 0.0, 0.0);
    }
    return true;
}

std::vector<double> NgspiceEngine::scale()
{
    static const char *const names[] = {"time", "frequency", "v-sweep", "i-sweep", "res-sweep", "temp-sweep"};
    SimVector v;
    for (const char *name : names) {
        if (vector(QString::fromLatin1(name), v)) {
            std::vector<double> x;
            x.reserve(v.values.size());
            for (const auto &z : v.values)
                x.push_back(z.real());
            return x;
        }
    }
    return {};
}

namespace {

// What ngspice said about an expression or measurement, as one sentence:
// without "Error: " prefixes and without the closing "RHS ... invalid" when
// something more telling precedes it.
QString reason(QStringList lines)
{
    static const QRegularExpression prefix(QStringLiteral("^(Error:|Warning from checkvalid:)\\s*"));
    static const QRegularExpression rhs(QStringLiteral("^RHS \".*\" invalid$"));
    for (QString &line : lines)
        line.remove(prefix);
    if (lines.size() > 1)
        lines.removeIf([](const QString &line) { return rhs.match(line).hasMatch(); });
    return lines.isEmpty() ? QStringLiteral("ngspice gave no value") : lines.join(QLatin1Char(' '));
}

}  // namespace

bool NgspiceEngine::evaluate(const QString &expression, SimVector &out, QString *why)
{
    const QString name = QStringLiteral("hd_let%1").arg(m_temporaries++);
    m_captured.clear();
    m_capturing = true;
    const bool ran = command(QStringLiteral("let %1 = %2").arg(name, expression));
    m_capturing = false;
    const QStringList said = m_captured;
    if (ran && vector(name, out))
        return true;
    if (why)
        *why = reason(said);
    return false;
}

bool NgspiceEngine::measure(const QString &analysis, const QString &rest, double &out, QString *why, bool *noData)
{
    const QString name = QStringLiteral("hd_meas%1").arg(m_temporaries++);
    m_captured.clear();
    m_capturing = true;
    const bool ran = command(QStringLiteral("meas %1 %2 %3").arg(analysis, name, rest));
    m_capturing = false;
    QStringList said;
    for (const QString &line : std::as_const(m_captured)) {
        // ngspice echoes the failed command and prints the result line: neither is a reason.
        if (!line.endsWith(QLatin1String("failed!")) && !line.startsWith(name))
            said.append(line);
    }
    SimVector v;
    if (ran && vector(name, v) && !v.values.empty()) {
        out = v.values.front().real();
        return true;
    }
    if (noData) {
        // "out of interval" alone: the syntax was fine, the data had no such event.
        *noData = !said.isEmpty();
        for (const QString &line : std::as_const(said)) {
            if (!line.contains(QLatin1String("out of interval")))
                *noData = false;
        }
    }
    if (why)
        *why = reason(said);
    return false;
}

int NgspiceEngine::onSendChar(char *text, int, void *self)
{
    auto *engine = static_cast<NgspiceEngine *>(self);
    if (!engine || !text)
        return 0;
    const QString line = QString::fromLocal8Bit(text);
    if (engine->m_capturing) {
        // While an expression or measurement is evaluated, everything said is its answer.
        const QString message = line.section(QLatin1Char(' '), 1).trimmed();
        if (!message.isEmpty() && engine->m_captured.size() < 12)
            engine->m_captured.append(message);
        return 0;
    }
    if (line.startsWith(QLatin1String("stderr "))) {
        const QString message = line.mid(7).trimmed();
        // The missing start-up file is normal for the shared library.
        if (!message.isEmpty() && !message.contains(QLatin1String("spinit")) && engine->m_errorLines.size() < 40)
            engine->m_errorLines.append(message);
    }
    return 0;
}

int NgspiceEngine::onSendStat(char *, int, void *)
{
    return 0;
}

int NgspiceEngine::onControlledExit(int, bool, bool, int, void *self)
{
    // ngspice wants to be detached (after an error, or on "quit").
    if (auto *engine = static_cast<NgspiceEngine *>(self))
        engine->m_needsReload = true;
    return 0;
}

int NgspiceEngine::onBackgroundThread(bool, int, void *)
{
    return 0;
}
