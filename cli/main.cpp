// tavrin-cli: the command-line front end.
//   devices              the transport and one line per CD/DVD device
//   info [-d DEV]        what a recorder reads and writes, its top speeds
//   disc [-d DEV]        the disc: medium, sizes, one line per session
//   save-iso -o FILE [--quick] [identifiers] SOURCE...
//                        an ISO image of local files and folders (no device)
//   burn [-d DEV] [options] SOURCE...
//                        local files and folders as a new session on the disc; with
//                        --import it keeps the files of session N (default: the last)
//   burn-iso [-d DEV] FILE  an ISO image from block 0 of an empty disc
//   erase [-d DEV] [--full]  blanks or formats the rewritable disc
//   ls [-d DEV] [--session N] [PATH]  the entries of a folder of a session (default:
//                        the last session's root)
//   extract [-d DEV] [--session N] PATH... -o DIR  files and folders of a session
//                        copied into DIR, a folder with its whole tree
//   eject [-d DEV], load [-d DEV]  opens or closes the tray
// A SOURCE is a local path or DEST=PATH. DEV is a line of "devices", its
// "adapter:target:lun" start or its index in the list; default: the first
// device. --builtin talks to the machine's drives through SG_IO instead of the
// manager library beside the program. Ctrl-C during a write aborts it; the
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
    sub->add_option("-d,--device", options.device, "a line of devices, its adapter:target:lun or its index from 0");
    return sub;
}

// What save-iso and burn put into the compilation.
void AddCompilationOptions(CLI::App* command, CompilationOptions& compilation) {
    VolumeIdentifiers& ids = compilation.identifiers;
    const char* const group = "Identifiers";
    command->add_option("--volume", ids.volume, "volume label (32 bytes)")->group(group);
    command->add_option("--volume-set", ids.volumeSet, "volume set identifier (128 bytes)")->group(group);
    command->add_option("--system", ids.system, "system identifier (32 bytes)")->group(group);
    command->add_option("--publisher", ids.publisher, "publisher (128 bytes)")->group(group);
    command->add_option("--preparer", ids.preparer, "data preparer (128 bytes)")->group(group);
    command->add_option("--application", ids.application, "application (128 bytes)")->group(group);
    command->add_option("--copyright-file", ids.copyrightFile, "copyright file name (37 bytes)")->group(group);
    command->add_option("--abstract-file", ids.abstractFile, "abstract file name (37 bytes)")->group(group);
    command->add_option("--bibliographic-file", ids.bibliographicFile, "bibliographic file name (37 bytes)")
        ->group(group);
    command->add_flag("--no-joliet", compilation.noJoliet, "only the ISO 9660 tree, no Joliet long names");
    command->add_flag("--archive-only", compilation.archiveOnly,
                      "of folders, only the files changed since they were last burned (burn marks them burned)");
    command->add_flag("--show-layout", compilation.showLayout, "print the compilation's tree first");
    command
        ->add_option("SOURCE", compilation.sources,
                     "a local file or folder (a folder keeps its name), or DEST=PATH: a folder's content into the "
                     "image folder DEST, a file as DEST (into DEST when it ends with /)")
        ->required();
}

// "max" or a speed factor the speed command can carry; "max" becomes 0.
CLI::Validator WriteSpeed() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text == "max") text = "0";
            unsigned speed = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), speed);
            if (error != std::errc() || end != text.data() + text.size() || speed > kLargestSpeedFactor)
                return fmt::format("not a speed: {} (max, or a factor up to {})", text, kLargestSpeedFactor);
            return {};
        },
        "N|max");
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
    burn->add_option("--speed", options.burn.speed,
                     "write speed in the disc's unit (x CD or x DVD), max (default) for the drive's fastest")
        ->transform(WriteSpeed());
    burn->add_flag("--test", options.burn.test, "a dummy write: nothing is recorded");
    burn->add_flag("--close,--finalize", options.burn.finalize, "close the disc: no further session can be added");
    burn->add_flag("--opc", options.burn.opc, "the drive calibrates its laser power first");
    burn->add_flag("--no-underrun-protection", options.burn.noUnderrunProtection,
                   "write without the drive's buffer underrun protection");
    burn->add_option("--cache", options.burn.cacheMegabytes, "read-ahead cache in MB (default 4)")
        ->check(CLI::Range(kSmallestCacheMegabytes, kLargestCacheMegabytes));
    burn->add_flag("--eject", options.burn.eject, "open the tray once the session is written");
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
    erase->add_flag("--full", options.erase.full, "blank the whole disc instead of the minimal blank");
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
        return e.ExitStatus();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        fmt::print(stderr, "tavrin-cli: unexpected failure: {}\n", e.what());
    }
    return kFailed;
}
