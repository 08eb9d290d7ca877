// What the console tests read back from norvane-console: its lines, its JSON objects, and the
// ports it was given.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace norvane::test {

inline std::map<std::string, std::string> PortsWith(const std::string& com1) {
    std::map<std::string, std::string> env{{"NORVANE_COM1", com1}};
    for (int n = 2; n <= 8; ++n) {
        env["NORVANE_COM" + std::to_string(n)] = "";
    }
    return env;
}

inline std::string WorkFile(const std::string& name) {
    return testing::TempDir() + "console-" + name + "-" + std::to_string(getpid());
}

inline std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// One flat JSON object: string and number values by name. False when the line is not one.
inline bool ParseJsonObject(const std::string& line, std::map<std::string, std::string>* fields) {
    size_t at = 0;
    auto expect = [&](char c) { return at < line.size() && line[at++] == c; };
    auto string = [&](std::string* out) {
        if (!expect('"')) {
            return false;
        }
        for (; at < line.size() && line[at] != '"'; ++at) {
            const auto c = static_cast<unsigned char>(line[at]);
            if (c < 0x20) {
                return false;
            }
            if (c != '\\') {
                *out += static_cast<char>(c);
            } else if (++at < line.size() &&
                       std::string("\"\\/nu").find(line[at]) != std::string::npos) {
                if (line[at] == 'u') {
                    at += 4;  // kept out of the value: the tests compare plain texts only
                } else {
                    *out += line[at] == 'n' ? '\n' : line[at];
                }
            } else {
                return false;
            }
        }
        return expect('"');
    };
    if (!expect('{')) {
        return false;
    }
    do {
        std::string name, value;
        if (!string(&name) || !expect(':')) {
            return false;
        }
        if (at < line.size() && line[at] == '"') {
            if (!string(&value)) {
                return false;
            }
        } else {
            const size_t end = line.find_first_not_of("-0123456789.", at);
            if (end == at || end == std::string::npos) {
                return false;
            }
            value = line.substr(at, end - at);
            at = end;
        }
        (*fields)[name] = value;
    } while (at < line.size() && line[at] == ',' && ++at);
    return expect('}') && at == line.size();
}

}  // namespace norvane::test
