// The captures named on the command line: files as given, folders expanded into their *.DT files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dtconv::cli {

std::string Utf8(const std::filesystem::path& p);
std::filesystem::path PathFromUtf8(const std::string& s);

// True for a name ending in ".DT" in any case.
bool IsCaptureName(const std::filesystem::path& p);

// Each argument that is a folder becomes its *.DT files in name order; any other argument stays
// as given (a missing file is reported when it is converted). A folder that cannot be listed, or
// holds no capture, is reported on stderr; the first sets *anyError.
std::vector<std::filesystem::path> ExpandInputs(const std::vector<std::string>& args,
                                                bool* anyError);

}  // namespace dtconv::cli
