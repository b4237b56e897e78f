// The line's entry in the ports folder: a symbolic link COM<n> -> /dev/pts/N, as the monitor's port map expects.
#pragma once

#include <QString>

namespace orvik::sim {

class PortLink {
public:
    PortLink() = default;
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;
    ~PortLink() { release(); }

    // Creates `dir`/`name` pointing at `target`. A link whose device still exists belongs to a live line, and is
    // taken over only with `force`; a stale one (its line gone) is replaced silently.
    bool claim(const QString& dir, const QString& name, const QString& target, bool force, QString* error);

    // Removes the link if it still points at our target (someone may have forced it over in the meantime).
    void release();

    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
};

} // namespace orvik::sim
