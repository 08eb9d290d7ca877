#include "app/AboutBox.h"

#include "platform/Resources.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {

VersionInfo VersionInfo::Parse(std::span<const uint8_t> bytes) {
    VersionInfo info;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            continue;
        }
        info.values_[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    return info;
}

VersionInfo VersionInfo::OfProgram() {
    return Parse(FindResourceBytes("VERSION", kVersionResourceId));
}

std::optional<std::string> VersionInfo::Query(std::string_view name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

AboutLines AboutLinesFrom(const VersionInfo& info, const MultiStrings& strings) {
    AboutLines lines;
    lines.caption = strings.Text(IDS_ABOUT_CAPTION);
    if (const auto version = info.Query("ProductVersion")) {
        lines.version = FormatText(strings.Text(IDS_ABOUT_VERSION), *version);
    }
    if (const auto build = info.Query("PrivateBuild")) {
        lines.build = FormatText(strings.Text(IDS_ABOUT_BUILD), *build);
    }
    if (const auto copyright = info.Query("LegalCopyright")) {
        lines.copyright = *copyright;
    }
    return lines;
}

}  // namespace norvane
