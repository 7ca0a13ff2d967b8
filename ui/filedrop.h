#pragma once

#include <QString>

class QDropEvent;
class QWidget;

namespace bootvane {

// Drags that carry files, of which a window of Bootvane takes one local file or folder. Any
// drag of files is taken, so that a drop of several, or of a web address, is told why nothing
// happens rather than find the window deaf to it.

// Accepts a drag entering or moving over a widget when it carries files or addresses, and
// ignores it otherwise.
void acceptFileDrag(QDropEvent* event);

// The one local file or folder a drop on receiver carries. "" when it carries none; when it
// carries several, or an address of no local file, the user is told why in a box first.
QString takeDroppedFile(QDropEvent* event, QWidget* receiver);

} // namespace bootvane
