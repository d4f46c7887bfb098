// tavrin: the desktop application.
//   tavrin                     the main window
//   tavrin --screenshot FILE   renders the main window after start-up to a PNG and
//                              exits; messages go to standard error instead of boxes
#include <cstdio>
#include <cstring>

#include <QTimer>

#include "app/application.h"
#include "app/main_window.h"

namespace {

const char* ScreenshotFile(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) return argv[i + 1];
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    tavrin::app::TApplication application(argc, argv);
    const char* screenshot = ScreenshotFile(argc, argv);
    tavrin::app::WindowEnvironment environment;
    environment.folder = tavrin::app::ProgramFolder();
    if (screenshot != nullptr) {
        environment.showMessage = [](const QString& text) {
            std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        };
    }
    tavrin::app::TFGUI window(environment);
    application.SetMainWindow(&window);
    window.StartUp();
    window.showMaximized();
    if (screenshot == nullptr) return application.exec();

    // Once the window has been laid out and painted.
    int status = 0;
    QTimer::singleShot(200, &window, [&] {
        if (!window.grab().save(QString::fromLocal8Bit(screenshot), "PNG")) {
            std::fprintf(stderr, "tavrin: cannot write %s\n", screenshot);
            status = 1;
        }
        application.quit();
    });
    application.exec();
    return status;
}
