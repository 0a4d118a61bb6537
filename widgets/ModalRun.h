#pragma once
#include <QDialog>
#include <memory>

// Creates a window, runs it modally and destroys it when the run ends, also
// when creating or running it raised an error (which then travels on).
template <typename Window, typename... Args>
int runModal(Args&&... args)
{
    auto window = std::make_unique<Window>(std::forward<Args>(args)...);
    return window->exec();
}
