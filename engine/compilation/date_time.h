// Recording dates of the compilation: local date-times as days since 30 December
// 1899 (TDateTime), made from the DOS date-times of directory listings.
#pragma once

#include <optional>

#include "engine/compilation/entries.h"
#include "engine/platform/local_time.h"

namespace tavrin::compilation {

TDateTime DateTimeFromLocal(const platform::LocalDateTime& local);
// 0 (30 December 1899) for a DOS value with an impossible field.
TDateTime DateTimeFromDos(platform::DosDateTime dos);
// To the millisecond; none for dates before year 1 or after 9999.
std::optional<platform::LocalDateTime> LocalFromDateTime(TDateTime when);

}  // namespace tavrin::compilation
