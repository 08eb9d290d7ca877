// The about box's texts: product version, build and copyright, read at run time from the
// program's embedded version information, and the caption from the string table.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace norvane {

class MultiStrings;

// The embedded version information: type "VERSION", id 1, like a Windows executable's
// version block. On Linux the build generates it as text, one "Name=Value" per line.
constexpr int kVersionResourceId = 1;

class VersionInfo {
public:
    // Parses "Name=Value" lines; blank lines and lines starting with '#' are skipped, a line
    // without '=' is ignored. A later line replaces an earlier one of the same name.
    static VersionInfo Parse(std::span<const uint8_t> bytes);
    // The program's own version information; empty when it carries none.
    static VersionInfo OfProgram();

    std::optional<std::string> Query(std::string_view name) const;
    // For a program whose version block is read by the system (Windows).
    void Set(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }

private:
    std::map<std::string, std::string, std::less<>> values_;
};

struct AboutLines {
    std::string caption;
    std::string version;    // "Norvane Version 2.1.0"
    std::string build;      // "Build v2.1.0-3-gabc1234 2026-12-07"
    std::string copyright;  // the copyright text as it stands
};

// A value missing from the version information leaves its line empty.
AboutLines AboutLinesFrom(const VersionInfo& info, const MultiStrings& strings);

}  // namespace norvane
