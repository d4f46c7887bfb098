#include "tests/app/app_tests.h"

#include "app/application.h"

int main(int argc, char** argv) {
    tavrin::app::TApplication application(argc, argv);
    int failed = 0;
    for (const tavrin::app::TestRun& run : {MainWindowRun(), EditingRun(), InfoDialogsRun(), DiscCommandsRun()}) failed += run(argc, argv);
    return failed == 0 ? 0 : 1;
}
