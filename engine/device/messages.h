// The engine's fixed message texts, as fmt format strings for fmt::format. Each
// "{}" stands where the message takes a parameter: an integer (a count or a
// session number) is written in decimal, a text (a path, a drive name, a time)
// is copied as its GBK bytes.
#pragma once

#include <string_view>

namespace tavrin::messages {

inline constexpr std::string_view kMaximumFiles = "MAXIMUM FILES CAN BE {}";
inline constexpr std::string_view kMaximumDirectories = "MAXIMUM DIRECTORIES CAN BE {}";
inline constexpr std::string_view kInvalidDestinationPath = "INVALID DESTINATION PATH";
inline constexpr std::string_view kErrorNextWritableAddress = "ERROR GETTING NEXT WRITABLE ADDRESS";
inline constexpr std::string_view kInternalError0004 = "INTERNAL ERROR 0004";
inline constexpr std::string_view kInternalError0005 = "INTERNAL ERROR 0005";
inline constexpr std::string_view kCantOpenFile = "CAN'T OPEN FILE \"{}\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr std::string_view kCantCreateFile = "CAN'T CREATE FILE \"{}\"";
inline constexpr std::string_view kOperationAborted = "OPERATION ABORTED BY USER";
inline constexpr std::string_view kNeedEmptyDisc = "NEED EMPTY DISC FOR ISO BURNING";
inline constexpr std::string_view kWritingLeadOut = "WRITING LEAD-OUT (THIS CAN TAKE APPROXIMATELY 15-20 MINUTES)";
inline constexpr std::string_view kStartingWrite = "STARTING WRITE PROCESS ON {} AT {}";
inline constexpr std::string_view kTestWrite = "TEST/DUMMY WRITE";
inline constexpr std::string_view kWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr std::string_view kWriterError = "WRITER ERROR";
// The disc's next writable address is not the block the image was laid out for:
// every extent of the image would point elsewhere.
inline constexpr std::string_view kSessionMoved =
    "THE DISC'S NEXT WRITABLE ADDRESS IS {} BUT THE IMAGE WAS LAID OUT FOR {}, PREPARE AGAIN";
// A file of an earlier session lies where the new session would be written.
inline constexpr std::string_view kWouldOverwriteImported =
    "THE NEW SESSION WOULD OVERWRITE THE IMPORTED FILE \"{}\"";
// A write started without a layout would record nothing and look like success.
inline constexpr std::string_view kNotPrepared = "THE COMPILATION HAS NOT BEEN PREPARED FOR WRITING";
inline constexpr std::string_view kCantWriteFile = "CAN'T WRITE FILE \"{}\"";
inline constexpr std::string_view kStartingErase = "STARTING ERASE PROCESS ON {} AT {}";
inline constexpr std::string_view kInvalidDevice = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";
inline constexpr std::string_view kImportNameTooLong = "ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS";
inline constexpr std::string_view kImportError = "ERROR IMPORTING SESSION";
inline constexpr std::string_view kImportImageNotFound = "ERROR IMPORTING SESSION {} (ISO IMAGE NOT FOUND)";
inline constexpr std::string_view kImportingSession = "IMPORTING SESSION # {}";
inline constexpr std::string_view kExtractingFile = "EXTRACTING FILE {} TO {}";

}  // namespace tavrin::messages
