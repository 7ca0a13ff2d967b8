#include "error.h"

#include "filenames.h"

#include <QDir>
#include <cstring>

namespace bootvane {

Error::Error(QString operation, QString path, QString reason)
    : m_operation(std::move(operation)), m_path(std::move(path)), m_reason(std::move(reason)),
      m_what(message().toUtf8())
{
}

QString Error::message() const
{
    return QStringLiteral("Cannot %1 \"%2\": %3")
        .arg(m_operation, QDir::toNativeSeparators(displayFileName(m_path)), m_reason);
}

void fail(const QString& operation, const QString& path, const QString& reason)
{
    throw Error(operation, path, reason);
}

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace bootvane
