#include "filedrop.h"

#include "userdialogs.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace bootvane {

void acceptFileDrag(QDropEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

QString takeDroppedFile(QDropEvent* event, QWidget* receiver)
{
    acceptFileDrag(event);
    const QList<QUrl> urls = event->mimeData() ? event->mimeData()->urls() : QList<QUrl>();
    QString refusal;
    if (urls.size() > 1)
        refusal = QStringLiteral("%1 files were dropped. Drop one at a time: a picture, a zip or "
                                 "a folder.")
                      .arg(urls.size());
    else if (!urls.isEmpty() && !urls[0].isLocalFile())
        refusal = QStringLiteral("\"%1\" is no file on this computer. Save it first, then drop "
                                 "the file.")
                      .arg(urls[0].toDisplayString());
    if (!refusal.isEmpty()) {
        userDialogs().information(receiver, refusal, receiver->window()->windowTitle());
        return {};
    }
    return urls.isEmpty() ? QString() : urls[0].toLocalFile();
}

} // namespace bootvane
