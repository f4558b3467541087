// Sample captures for `make demo`, one writer per kind of content.
#pragma once

#include <filesystem>

namespace dtconv::samples {
void WriteAnalogSamples(const std::filesystem::path& dir);
void WriteCanSamples(const std::filesystem::path& dir);
void WriteSignalSamples(const std::filesystem::path& dir);
}  // namespace dtconv::samples
