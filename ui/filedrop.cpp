#include "filedrop.h"

#include <QDropEvent>
#include <QMimeData>

namespace bootvane {

namespace {

QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls()[0].isLocalFile())
        return {};
    return data->urls()[0].toLocalFile();
}

} // namespace

void acceptFileDrag(QDropEvent* event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

QString takeDroppedFile(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
    return path;
}

} // namespace bootvane
