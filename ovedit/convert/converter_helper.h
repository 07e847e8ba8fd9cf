#pragma once
// The converter run in a helper process of its own, as OVEdit runs it: the data
// editor starts itself with kConverterHelperOption, and that process binds the
// library by file name and export name (converter_library.h), makes the one call
// and ends. What the library prints goes to the helper's standard output, which
// the window reads through a pipe; the helper's own report is one line on
// standard error.
//
// Why a process and not the window's own standard output: the library prints with
// printf and keeps state of its own between calls, and a hostile 3DS file could
// hang or crash it. In a process of its own none of that reaches the window, a run
// can be stopped by ending the process, and nothing in the window has to stop
// writing to standard output while it runs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

// OVEdit --run-converter SOURCE TEXTURE DESTINATION [LIBRARY]
inline constexpr const char* kConverterHelperOption = "--run-converter";

// The helper's work, given the arguments after the option (UTF-8): finds and loads
// the library (LIBRARY when given and not empty, else converterLibraryCandidates),
// converts, and writes its report line to standard error. Returns the process's
// exit code: 0 when the library was called (whatever it returned), 1 when it could
// not be bound, 2 for a bad command line.
int runConverterHelper(const std::vector<std::string>& args);

// The report line of a helper run.
std::string converterReportLine(int resultCode);
std::string converterFailureLine(std::string_view text);

struct ConverterReport {
    std::optional<int> resultCode;  // the library was called and returned this
    std::string failure;            // else why it was not called
};

// Reads the report from the helper's standard error; the last report line counts
// (anything else there, such as a sanitizer's notes, is passed over). Nothing when
// it holds no report line, as when the helper crashed.
std::optional<ConverterReport> parseConverterReport(std::string_view errorText);

}  // namespace ov
