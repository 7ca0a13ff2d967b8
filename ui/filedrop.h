#pragma once

#include <QString>

class QDropEvent;

namespace bootvane {

// Drags that carry one local file or folder, the only kind a window of Bootvane takes.

// Accepts a drag entering or moving over a widget when it carries one local file or folder,
// and ignores it otherwise.
void acceptFileDrag(QDropEvent* event);

// The file or folder a drop carries, the drop accepted; "" and the drop ignored when it
// carries none, or more than one.
QString takeDroppedFile(QDropEvent* event);

} // namespace bootvane
