#pragma once

// The host's trace: one line per event, "trace: " in front, on standard
// error. End-to-end tests read these lines, so their wording is stable (see
// docs/host.md). Lines are also handed to an observer (the host window's log)
// when one is set, whether or not printing is on.

#include <QString>

#include <functional>

class HostTrace
{
public:
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }
    void setObserver(std::function<void(const QString &)> observer) { m_observer = std::move(observer); }

    void line(const QString &text) const;

private:
    bool m_enabled = false;
    std::function<void(const QString &)> m_observer;
};
