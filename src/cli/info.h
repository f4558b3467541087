// dtconv info: a summary of each capture, as text or one JSON object per file.
#pragma once

#include "cli/cli_options.h"

namespace dtconv::cli {
int RunInfo(const CliRequest& req);
}
