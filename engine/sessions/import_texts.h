// The lines an import writes about a disc it cannot read soundly (debug type 4).
// Each names what was left out; the rest of the import goes on.
#pragma once

#include <string_view>

namespace tavrin::sessions::texts {

// A directory recorded at the block of itself or of a directory read before (a loop
// through a parent, or one tree reached twice): read once only.
inline constexpr std::string_view kDirectoryReadAlready =
    "ERROR IMPORTING SESSION, DIRECTORY \"{}\" AT BLOCK {} IS READ ALREADY, NOT READ AGAIN";
inline constexpr std::string_view kTreeTooDeep =
    "ERROR IMPORTING SESSION, DIRECTORY \"{}\" IS DEEPER THAN {} LEVELS, NOT READ";
// A record that cannot hold its own fields or runs past its block: the block's
// other records cannot be located.
inline constexpr std::string_view kBrokenRecord =
    "ERROR IMPORTING SESSION, BROKEN DIRECTORY RECORD AT BLOCK {} BYTE {}, REST OF THE BLOCK LEFT OUT";
// A name running past the record's own length: the length is wrong, and so is
// where it points to.
inline constexpr std::string_view kBrokenIdentifier =
    "ERROR IMPORTING SESSION, NAME OF THE RECORD AT BLOCK {} BYTE {} RUNS PAST ITS RECORD, REST OF THE BLOCK LEFT OUT";
inline constexpr std::string_view kBeyondDisc =
    "ERROR IMPORTING SESSION, \"{}\" AT BLOCK {} ({} BYTES) LIES BEYOND THE DISC'S {} BLOCKS, LEFT OUT";
inline constexpr std::string_view kDirectoryCut =
    "ERROR IMPORTING SESSION, DIRECTORY \"{}\" RUNS BEYOND THE DISC'S {} BLOCKS, READ UP TO ITS END";
inline constexpr std::string_view kNoDataBlock =
    "ERROR IMPORTING SESSION, FILE \"{}\" HAS {} BYTES BUT NO DATA BLOCK, LEFT OUT";
inline constexpr std::string_view kUnusableName =
    "ERROR IMPORTING SESSION, RECORD AT BLOCK {} BYTE {} HAS NO USABLE NAME \"{}\", LEFT OUT";
// More directory blocks than the disc holds: the records point at each other's blocks.
inline constexpr std::string_view kTooMuchDirectoryData =
    "ERROR IMPORTING SESSION, MORE DIRECTORY BLOCKS THAN THE DISC HOLDS ({}), REST OF THE TREE LEFT OUT";

}  // namespace tavrin::sessions::texts
