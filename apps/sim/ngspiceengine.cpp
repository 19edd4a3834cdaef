#include "ngspiceengine.h"

#include <ngspice/sharedspice.h>

#include <dlfcn.h>

#include <vector>

struct NgspiceEngine::Api
{
    decltype(&ngSpice_Init) init = nullptr;
    decltype(&ngSpice_Circ) circ = nullptr;
    decltype(&ngSpice_Command) command = nullptr;
    decltype(&ngGet_Vec_Info) vectorInfo = nullptr;
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
    if (!m_api->init || !m_api->circ || !m_api->command || !m_api->vectorInfo) {
        *error = QStringLiteral("%1 is not an ngspice shared library (ngSpice_Init, ngSpice_Circ, "
                                "ngSpice_Command or ngGet_Vec_Info missing)").arg(m_library);
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

bool NgspiceEngine::runAc(const QStringList &netlist, const QStringList &nodes, SimAcResult &result, QString *error)
{
    QString failure;
    const auto fail = [&](const QString &what) {
        if (error)
            *error = what + messages();
        return false;
    };
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

    const auto cleanUp = [this] {
        if (!m_needsReload) {
            m_api->command(const_cast<char *>("remcirc"));
            m_api->command(const_cast<char *>("destroy all"));
            // Every command ngspice executes stays in its list of control
            // structures (about 150 bytes each) until a null command clears
            // the list: without this the process grows with every run.
            m_api->command(nullptr);
        }
    };
    if (m_api->circ(lines.data()) != 0 || m_needsReload) {
        cleanUp();
        return fail(QStringLiteral("ngspice did not accept the netlist"));
    }
    if (m_api->command(const_cast<char *>("run")) != 0 || m_needsReload) {
        cleanUp();
        return fail(QStringLiteral("the ngspice AC analysis failed"));
    }

    // ngGet_Vec_Info answers a pointer into one static record: copy at once.
    const auto vector = [this](const QString &name, bool &complex, std::vector<std::complex<double>> &out) {
        QByteArray n = name.toLatin1();
        const pvector_info info = m_api->vectorInfo(n.data());
        if (!info || info->v_length <= 0)
            return false;
        out.resize(size_t(info->v_length));
        complex = info->v_compdata != nullptr;
        for (int i = 0; i < info->v_length; ++i) {
            out[size_t(i)] = complex ? std::complex<double>(info->v_compdata[i].cx_real, info->v_compdata[i].cx_imag)
                                     : std::complex<double>(info->v_realdata ? info->v_realdata[i] : 0.0, 0.0);
        }
        return true;
    };

    SimAcResult r;
    bool complex = false;
    std::vector<std::complex<double>> values;
    if (!vector(QStringLiteral("frequency"), complex, values)) {
        cleanUp();
        return fail(QStringLiteral("ngspice produced no frequency vector"));
    }
    r.frequency.reserve(values.size());
    for (const auto &v : values)
        r.frequency.push_back(v.real());
    for (const QString &node : nodes) {
        if (!vector(node.toLower(), complex, values) || values.size() != r.frequency.size()) {
            cleanUp();
            return fail(QStringLiteral("ngspice produced no voltage for node %1").arg(node));
        }
        r.voltages.insert(node.toLower(), values);
    }
    cleanUp();
    result = std::move(r);
    return true;
}

int NgspiceEngine::onSendChar(char *text, int, void *self)
{
    auto *engine = static_cast<NgspiceEngine *>(self);
    if (!engine || !text)
        return 0;
    const QString line = QString::fromLocal8Bit(text);
    if (line.startsWith(QLatin1String("stderr "))) {
        const QString message = line.mid(7).trimmed();
        // The missing start-up file is normal for the shared library.
        if (!message.isEmpty() && !message.contains(QLatin1String("spinit")) && engine->m_errorLines.size() < 12)
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
