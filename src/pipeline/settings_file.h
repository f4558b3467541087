// The settings file: the user's choices (CvtOptions) kept between runs of the desktop program,
// and read by dtconv --settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pipeline/cvt_settings.h"

namespace dtconv {

// The program file's path with its extension replaced by ".ini".
std::filesystem::path DefaultSettingsPath(const std::filesystem::path& programFile);

// Fills every field of `options` from the file. A missing key, or a value that is not one of the
// spellings SaveSettings writes (compared with case), takes the field's default; an empty folder
// becomes the current folder; the format is made one the target offers. Returns 0, or the result
// code of a file that could not be read (every field then has its default). When `unrecognised`
// is given, it receives "section/key=value" for each stored value that was not understood.
Result LoadSettings(const std::filesystem::path& file, CvtOptions& options,
                    std::vector<std::string>* unrecognised = nullptr);

// Writes every key of `options`. Returns 0 or the result code of the first failed write.
Result SaveSettings(const std::filesystem::path& file, const CvtOptions& options);

}  // namespace dtconv
