#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace bootvane {

// The program's one error boundary. Every event handler runs inside it: a failure ends the
// handler at the failing step, the steps before it stay done, the user sees one error box
// naming the file and the reason, and the program goes on. No exception reaches Qt.
void runHandler(QWidget* window, const std::function<void()>& handler);

// Connects signal to a handler of window that runs inside the boundary.
template <typename Sender, typename Signal, typename Window>
void connectHandler(Sender* sender, Signal signal, Window* window, void (Window::*handler)())
{
    QObject::connect(sender, signal, window,
                     [window, handler] { runHandler(window, [&] { (window->*handler)(); }); });
}

} // namespace bootvane
