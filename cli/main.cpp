// tavrin-cli: the command-line front end.
//   devices              the transport and one line per CD/DVD device
//   info [-d DEV]        capabilities and maximum speeds of a device
//   disc [-d DEV]        media type, disc summary and sessions
//   save-iso -o FILE [--quick] [--volume LABEL] [--no-joliet] SOURCE...
//                        an ISO image of local files and folders (no device)
//   erase [-d DEV] [--quick]  blanks or formats the rewritable disc
//   eject [-d DEV], load [-d DEV]  opens or closes the tray
// DEV is a line of "devices" or its "adapter:target:lun" start; default: the
// first device. --builtin talks to the machine's drives through SG_IO instead of
// the manager library beside the program.
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cli/commands.h"

using namespace tavrin::cli;

int main(int argc, char** argv) {
    CLI::App app{"Lists CD/DVD recorders, shows what they hold and writes ISO images."};
    app.require_subcommand(1);
    app.fallthrough();

    Options options;
    app.add_flag("--builtin", options.builtIn, "use the built-in SG_IO transport (/dev/srN)");
    app.add_flag("-v,--verbose", options.verbose, "write the engine's debug lines to standard error");

    std::function<void(const Options&)> run;
    app.add_subcommand("devices", "list the CD/DVD devices")->callback([&] { run = RunDevices; });
    CLI::App* info = app.add_subcommand("info", "capabilities and maximum speeds of a device");
    info->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    info->callback([&] { run = RunInfo; });
    CLI::App* disc = app.add_subcommand("disc", "the disc in a device");
    disc->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    disc->callback([&] { run = RunDisc; });
    CLI::App* saveIso = app.add_subcommand("save-iso", "write an ISO image of local files and folders");
    saveIso->add_option("-o,--output", options.saveIso.output, "the image file")->required();
    saveIso->add_flag("--quick", options.saveIso.quick, "write the image on this thread (the only mode so far)");
    saveIso->add_option("--volume", options.saveIso.volume, "volume label");
    saveIso->add_flag("--no-joliet", options.saveIso.noJoliet, "only the ISO 9660 tree, no Joliet long names");
    saveIso->add_option("SOURCE", options.saveIso.sources, "files and folders; a folder keeps its name")->required();
    saveIso->callback([&] { run = RunSaveIso; });
    CLI::App* erase = app.add_subcommand("erase", "blank or format the rewritable disc in a device");
    erase->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    erase->add_flag("--quick", options.erase.quick, "the minimal blank instead of the whole disc");
    erase->callback([&] { run = RunErase; });
    CLI::App* eject = app.add_subcommand("eject", "open the tray of a device");
    eject->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    eject->callback([&] { run = RunEject; });
    CLI::App* load = app.add_subcommand("load", "close the tray of a device");
    load->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    load->callback([&] { run = RunLoad; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kBadArguments;
    }

    try {
        run(options);
        std::fflush(stdout);
        return 0;
    } catch (const CommandFailure& e) {
        std::fflush(stdout);
        fmt::print(stderr, "tavrin-cli: {}\n", e.what());
    } catch (const std::exception& e) {
        std::fflush(stdout);
        fmt::print(stderr, "tavrin-cli: unexpected failure: {}\n", e.what());
    }
    return kFailed;
}
