// What the table-driven tests of failing files, settings files and command lines share: the rows
// of a case table, folders made from text statements and described back as text, and a bounded
// run of work that could block, and a job over a list of files.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/conversion_job.h"
#include "test_files.h"

namespace dtconv::test {

// Makes the entries of `statements` under `dir`, after removing what was there: "NAME text
// ESCAPED" (a ';' in it written \x3B), "NAME copy FILE [N]" (a file of tests/cases/ with each '@'
// replaced by N x's), "NAME capture RECIPE", "NAME dir", "NAME link TARGET", "NAME hardlink TARGET"
// (beside it), "NAME fifo", "NAME gone", "NAME cut N" (keeps N bytes, or all but -N), joined by ";
// ". A NAME with {A..B} in it stands for the names with each number from A to B. False when this
// system cannot make one of them.
bool MakeEntries(const std::filesystem::path& dir, const std::string& statements);
// Every entry under `dir`, as "NAME: what it is" (a file's size and hash of its bytes, a link's
// target, dir, fifo).
std::vector<std::string> DescribeFolder(const std::filesystem::path& dir);

// Runs `work` on a thread of its own; false when it has not returned within 20 s. The named pipes
// under `dir` are then opened and closed, which frees an open or read waiting on them; work that
// still does not return ends the program with a message.
bool FinishesInTime(const std::function<void()>& work, const std::filesystem::path& dir);

// Runs the conversion job over `inputs` in turn, with the golden reports' banner time.
Result RunJob(const std::vector<std::filesystem::path>& inputs, const CvtSettings& settings,
              const ConverterTable& table, JobObserver& observer,
              const std::filesystem::path& outputDir = {}, const std::atomic<bool>* stop = nullptr);

}  // namespace dtconv::test
