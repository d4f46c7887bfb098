// The application's texts are GBK bytes, as the engine's; Qt shows Unicode. The
// conversion goes through the engine's one codec.
#pragma once

#include <string>

#include <QString>

namespace tavrin::app {

// A GBK text for a control; bytes without a GBK meaning show as U+FFFD.
QString FromGbk(const std::string& gbk);
// What the user typed as GBK; characters without a GBK form become "?".
std::string ToGbk(const QString& text);

}  // namespace tavrin::app
