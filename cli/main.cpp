// tavrin-cli: the command-line front end.
//   devices              the transport and one line per CD/DVD device
//   info [-d DEV]        capabilities and maximum speeds of a device
//   disc [-d DEV]        media type, disc summary and sessions
//   save-iso -o FILE [--quick] [--volume LABEL] [--no-joliet] SOURCE...
//                        an ISO image of local files and folders (no device)
//   burn [-d DEV] [--volume LABEL] [--no-joliet] [--speed N] [--test] [--finalize] [--import[=N]] SOURCE...
//                        local files and folders as a new session on the disc; with
//                        --import it keeps the files of session N (default: the last)
//   burn-iso [-d DEV] FILE  an ISO image from block 0 of an empty disc
//   erase [-d DEV] [--quick]  blanks or formats the rewritable disc
//   ls [-d DEV] [--session N] [PATH]  the entries of a folder of a session (default:
//                        the last session's root)
//   extract [-d DEV] [--session N] PATH... -o DIR  files and folders of a session
//                        copied into DIR, a folder with its whole tree
//   eject [-d DEV], load [-d DEV]  opens or closes the tray
// DEV is a line of "devices" or its "adapter:target:lun" start; default: the
// first device. --builtin talks to the machine's drives through SG_IO instead of
// the manager library beside the program. Ctrl-C during a write aborts it; the
// drive's buffer is flushed before the program ends.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <system_error>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "cli/commands.h"

using namespace tavrin::cli;

namespace {

using Command = void (*)(const Options&);

// A command that runs `command` when it is the one named.
CLI::App* AddCommand(CLI::App& app, Command& run, const char* name, const char* help, Command command) {
    CLI::App* sub = app.add_subcommand(name, help);
    sub->callback([&run, command] { run = command; });
    return sub;
}

// A command that talks to one recorder.
CLI::App* AddDeviceCommand(CLI::App& app, Options& options, Command& run, const char* name, const char* help,
                           Command command) {
    CLI::App* sub = AddCommand(app, run, name, help, command);
    sub->add_option("-d,--device", options.device, "device line or adapter:target:lun");
    return sub;
}

// What save-iso and burn put into the compilation.
void AddCompilationOptions(CLI::App* command, CompilationOptions& compilation) {
    command->add_option("--volume", compilation.volume, "volume label");
    command->add_flag("--no-joliet", compilation.noJoliet, "only the ISO 9660 tree, no Joliet long names");
    command->add_option("SOURCE", compilation.sources, "files and folders; a folder keeps its name")->required();
}

// -1 for the last session, or a session number.
CLI::Validator SessionNumber() {
    return CLI::Validator(
        [](const std::string& text) -> std::string {
            int number = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (error != std::errc() || end != text.data() + text.size()) return "not a session number: " + text;
            const bool valid = number == kLastSession || (number >= 1 && number <= kLargestSessionNumber);
            return valid ? std::string() : fmt::format("sessions are numbered from 1 to {}, -1 is the last",
                                                       kLargestSessionNumber);
        },
        "SESSION");
}

// Commands that read a session of the disc back.
void AddSessionCommands(CLI::App& app, Options& options, Command& run) {
    CLI::App* ls = AddDeviceCommand(app, options, run, "ls", "list a folder of a session of the disc", RunLs);
    ls->add_option("--session", options.session.session, "the session, 1 the first; -1 (default) the last")
        ->check(SessionNumber());
    ls->add_option("PATH", options.ls.path, "a folder or file of the session, names separated by / or \\");

    CLI::App* extract = AddDeviceCommand(app, options, run, "extract",
                                         "copy files and folders of a session of the disc into a folder", RunExtract);
    extract->add_option("--session", options.session.session, "the session, 1 the first; -1 (default) the last")
        ->check(SessionNumber());
    extract->add_option("PATH", options.extract.paths, "files and folders of the session; a folder with its tree")
        ->required();
    extract->add_option("-o,--output", options.extract.output, "the local folder (created when missing)")
        ->required();
}

void AddWriteCommands(CLI::App& app, Options& options, Command& run) {
    CLI::App* saveIso = AddCommand(app, run, "save-iso", "write an ISO image of local files and folders", RunSaveIso);
    saveIso->add_option("-o,--output", options.saveIso.output, "the image file")->required();
    saveIso->add_flag("--quick", options.saveIso.quick,
                      "write the image on this thread, without the read-ahead cache and the padding to 300 blocks");
    AddCompilationOptions(saveIso, options.compilation);

    CLI::App* burn = AddDeviceCommand(app, options, run, "burn",
                                      "write local files and folders as a new session on the disc", RunBurn);
    burn->add_option("--speed", options.burn.speed, "write speed factor, 0 for the drive's fastest")
        ->check(CLI::Range(0, int{kLargestSpeedFactor}));
    burn->add_flag("--test", options.burn.test, "a dummy write: nothing is recorded");
    burn->add_flag("--finalize", options.burn.finalize, "close the disc: no further session can be added");
    // A flag that takes its number only as --import=N: a SOURCE after it is never
    // taken for a session number.
    burn->add_flag_function(
            fmt::format("--import{{{}}}", kLastSession),
            [&options](std::int64_t session) { options.burn.importSession = static_cast<int>(session); },
            "keep the files of session N of the disc, --import=N (without N: the last); a source replaces an "
            "imported file of the same name")
        ->check(SessionNumber())
        ->option_text("[=N]");
    AddCompilationOptions(burn, options.compilation);

    CLI::App* burnIso =
        AddDeviceCommand(app, options, run, "burn-iso", "write an ISO image file onto an empty disc", RunBurnIso);
    burnIso->add_option("FILE", options.burnIso.image, "the image file")->required();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Lists CD/DVD recorders, shows what they hold, writes ISO images, burns discs and copies files back."};
    app.require_subcommand(1);
    app.fallthrough();

    Options options;
    app.add_flag("--builtin", options.builtIn, "use the built-in SG_IO transport (/dev/srN)");
    app.add_flag("-v,--verbose", options.verbose, "write the engine's debug lines to standard error");

    Command run = nullptr;
    AddCommand(app, run, "devices", "list the CD/DVD devices", RunDevices);
    AddDeviceCommand(app, options, run, "info", "capabilities and maximum speeds of a device", RunInfo);
    AddDeviceCommand(app, options, run, "disc", "the disc in a device", RunDisc);
    AddWriteCommands(app, options, run);
    AddSessionCommands(app, options, run);
    CLI::App* erase =
        AddDeviceCommand(app, options, run, "erase", "blank or format the rewritable disc in a device", RunErase);
    erase->add_flag("--quick", options.erase.quick, "the minimal blank instead of the whole disc");
    AddDeviceCommand(app, options, run, "eject", "open the tray of a device", RunEject);
    AddDeviceCommand(app, options, run, "load", "close the tray of a device", RunLoad);

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
