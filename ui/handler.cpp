#include "handler.h"

#include "error.h"
#include "userdialogs.h"

#include <QWidget>

namespace bootvane {

namespace {

const QString boundaryTitle = QStringLiteral("Bootvane");

// A window being built is not shown yet; an error box must not hang off it invisibly.
QWidget* visibleOrNone(QWidget* window)
{
    return window && window->isVisible() ? window : nullptr;
}

} // namespace

void runHandler(QWidget* window, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Error& error) {
        userDialogs().critical(visibleOrNone(window), error.message(), boundaryTitle);
    } catch (const std::exception& error) {
        userDialogs().critical(visibleOrNone(window), QString::fromLocal8Bit(error.what()),
                               boundaryTitle);
    }
}

} // namespace bootvane
