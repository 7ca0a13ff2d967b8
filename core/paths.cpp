#include "paths.h"

#include <QDir>

namespace bootvane {

QString pathSeparator()
{
    return QString(QDir::separator());
}

QString basePath()
{
    return QDir::toNativeSeparators(QDir::currentPath()) + pathSeparator();
}

QString setFilePath(const QString& base, const QString& setName, const ScreenSlot& slot)
{
    return base + setName + pathSeparator() + QLatin1String(slot.setFileName);
}

QString originalsFilePath(const ScreenSlot& slot)
{
    return originalsName + pathSeparator() + QLatin1String(slot.setFileName);
}

} // namespace bootvane
