// The application object: every exception that reaches the message loop goes to
// the main window's error log instead of ending the program.
#pragma once

#include <QApplication>

namespace tavrin::app {

class TFGUI;

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    void SetMainWindow(TFGUI* window) { window_ = window; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    TFGUI* window_ = nullptr;
};

}  // namespace tavrin::app
