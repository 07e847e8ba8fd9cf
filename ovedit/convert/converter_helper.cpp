#include "converter_helper.h"

#include <charconv>
#include <cstdio>

#include "common/fileio.h"
#include "converter_library.h"

namespace ov {

namespace {

constexpr std::string_view kResultTag = "3ds2ov-result ";
constexpr std::string_view kFailureTag = "3ds2ov-failure ";

void reportLine(const std::string& line) {
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::string converterReportLine(int resultCode) {
    return std::string(kResultTag) + std::to_string(resultCode) + "\n";
}

std::string converterFailureLine(std::string_view text) {
    std::string line(kFailureTag);
    // One line whatever the text holds.
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    return line + "\n";
}

int runConverterHelper(const std::vector<std::string>& args) {
    if (args.size() < 3 || args.size() > 4) {
        reportLine(converterFailureLine(
            "usage: OVEdit --run-converter SOURCE TEXTURE DESTINATION [LIBRARY]"));
        return 2;
    }
    const std::filesystem::path given =
        args.size() == 4 && !args[3].empty() ? pathFromText(args[3]) : std::filesystem::path();
    auto library = findConverterLibrary(given);
    if (!library) {
        reportLine(converterFailureLine(library.error().message));
        return 1;
    }
    const int code = library->convert(args[0], args[1], args[2]);
    reportLine(converterReportLine(code));
    return 0;
}

std::optional<ConverterReport> parseConverterReport(std::string_view errorText) {
    std::optional<ConverterReport> found;
    size_t start = 0;
    while (start < errorText.size()) {
        size_t end = errorText.find('\n', start);
        if (end == std::string_view::npos) end = errorText.size();
        std::string_view line = errorText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        if (line.starts_with(kResultTag)) {
            line.remove_prefix(kResultTag.size());
            int code = 0;
            auto [p, ec] = std::from_chars(line.data(), line.data() + line.size(), code);
            if (ec == std::errc() && p == line.data() + line.size())
                found = ConverterReport{code, {}};
        } else if (line.starts_with(kFailureTag)) {
            line.remove_prefix(kFailureTag.size());
            found = ConverterReport{std::nullopt, std::string(line)};
        }
    }
    return found;
}

}  // namespace ov
