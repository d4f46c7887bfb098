#include "app/application.h"

#include <exception>

#include <QGuiApplication>

#include "app/main_window.h"

namespace tavrin::app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Tavrin");
    setApplicationDisplayName("Tavrin");
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (window_ != nullptr) window_->LogError(window_->ErrorPosition(), e.what());
    } catch (...) {
        if (window_ != nullptr) window_->LogError(window_->ErrorPosition(), "unknown exception");
    }
    // The operation that threw is abandoned; the cursor is the arrow again.
    while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
    return false;
}

}  // namespace tavrin::app
