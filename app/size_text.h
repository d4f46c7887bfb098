// Sizes in megabytes as the window shows them: "1,234.56 MB" (1 MB = 1,048,576 bytes).
#pragma once

#include <cstdint>
#include <string>

namespace tavrin::app {

std::string SizeText(int64_t bytes);

// "1234567" as "1,234,567".
std::string GroupedThousands(uint64_t number);

}  // namespace tavrin::app
