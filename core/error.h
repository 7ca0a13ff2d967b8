#pragma once

#include <QString>
#include <exception>

namespace bootvane {

// The one error type of the program. Every core operation that fails throws it, naming
// what it tried to do, the file or folder it worked on and the system's own reason. The
// event-handler boundary in ui/ is the only place that catches it.
class Error : public std::exception {
public:
    Error(QString operation, QString path, QString reason);

    const QString& operation() const { return m_operation; }
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

    // One line for the user, e.g. Cannot read the picture "/x/logo.sys": Permission denied
    QString message() const;
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_operation;
    QString m_path;
    QString m_reason;
    QByteArray m_what;
};

[[noreturn]] void fail(const QString& operation, const QString& path, const QString& reason);

// The text the C library gives for an errno value ("No such file or directory").
QString systemReason(int errorNumber);

} // namespace bootvane
