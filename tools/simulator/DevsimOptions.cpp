#include "tools/simulator/DevsimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <type_traits>

namespace norvane::sim {

namespace {

bool ParseNumber(const std::string& text, uint64_t* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || text[0] == '-') {
        return false;
    }
    *value = parsed;
    return true;
}

// "\n", "\r", "\t", "\\" and "\xNN" escapes.
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'n') {
            out += '\n';
        } else if (c == 'r') {
            out += '\r';
        } else if (c == 't') {
            out += '\t';
        } else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

bool ParsePoint(const std::string& text, FaultPoint* point) {
    const size_t colon = text.find(':');
    const auto phase = PhaseFromName(text.substr(0, colon));
    if (!phase) {
        return false;
    }
    point->phase = *phase;
    point->index = 0;
    if (colon != std::string::npos) {
        uint64_t index = 0;
        if (!ParseNumber(text.substr(colon + 1), &index)) {
            return false;
        }
        point->index = static_cast<uint32_t>(index);
    }
    return true;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x21 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return out;
}

}  // namespace

const char* DevsimUsage() {
    return "usage: norvane-devsim [options]\n"
           "Acts as the flash device behind a pseudo-terminal; prints the terminal's path.\n"
           "  --kind XX                kind code (OS, GM, TV or other)        [OS]\n"
           "  --serial TEXT            serial text                            [1234567]\n"
           "  --star | --no-star       OS: '*' at position 7                  [--star]\n"
           "  --no-line-feeds          16 characters per record, no line feed\n"
           "  --first-greeting-ms N    delay of the first greeting            [0]\n"
           "  --greeting-ms N          greeting period                        [250]\n"
           "  --greet-on-open          greet once, --first-greeting-ms after each time a\n"
           "                           host opens the line, instead of periodically\n"
           "  --erase-ms N             erase time                             [800]\n"
           "  --block-ms N             programming time per block             [2]\n"
           "  --finish-ms N            last byte to PROGRAMMED                [20]\n"
           "  --upper-length N         OS without '*': expected upper length  [0]\n"
           "  --ack-partial-block      answer a trailing partial block too\n"
           "faults:\n"
           "  --silent-from PHASE      send nothing from that phase on\n"
           "  --error-at PHASE[:I]     send ERROR there (see --error-code)\n"
           "  --error-code N           code of the injected ERROR             [0x4242]\n"
           "  --unexpected-at PHASE[:I] send --unexpected-text there\n"
           "  --unexpected-text TEXT   record text                            [PROGRAMMED]\n"
           "  --wrong-crc-block K      CRC of block K (both regions) off by one\n"
           "  --noise TEXT             bytes before every record (\\n, \\xNN escapes)\n"
           "  --stray-line-feeds N     line feeds before every record\n"
           "  --disconnect-after N     drop the line after N received bytes\n"
           "  --slow-erase-ms N        added to the erase time\n"
           "  --slow-erase-phase PHASE only that erase (erasing, upper-erasing)\n"
           "  --slow-block-ms N        added to the block time\n"
           "  --slow-block K           only block K\n"
           "line:\n"
           "  --pace                   take the host's bytes at its line speed (10 bits a\n"
           "                           byte), as a real line does; else they arrive at once\n"
           "bed (devices one after the other):\n"
           "  --devices N              N devices, each with the next serial   [1]\n"
           "  --swap-ms N              from one device's end to the next one  [1000]\n"
           "  --swap-greeting-ms N     the device just done greets on with this\n"
           "                           period until it is swapped             [silent]\n"
           "run:\n"
           "  --log FILE               write the report of the run to FILE at exit\n"
           "  --phases                 print \"phase NAME\" on entering each phase and\n"
           "                           \"speed N\" on seeing the host's line speed change,\n"
           "                           so that a test can wait for one\n"
           "  --exit-after-run         exit when the run is over\n"
           "  --linger-ms N            after the run, before exiting          [500]\n"
           "phases: greeting erasing header lower upper-erasing upper end-marker lengths\n"
           "        region0 region1 totals verifying\n";
}

bool ParseDevsimOptions(const std::vector<std::string>& args, DevsimOptions* options,
                        std::string* error) {
    DevsimOptions& o = *options;
    using Setter = std::function<bool(const std::string&)>;
    auto micros = [](uint64_t* target) {
        return Setter([target](const std::string& v) {
            uint64_t ms = 0;
            if (!ParseNumber(v, &ms)) {
                return false;
            }
            *target = ms * 1000;
            return true;
        });
    };
    auto number32 = [](auto* target) {
        return Setter([target](const std::string& v) {
            uint64_t n = 0;
            if (!ParseNumber(v, &n) || n > 0xFFFFFFFFull) {
                return false;
            }
            *target = static_cast<std::remove_reference_t<decltype(*target)>>(n);
            return true;
        });
    };
    const std::map<std::string, Setter> withValue = {
        {"--kind", [&](const std::string& v) { return o.config.kind = v, v.size() == 2; }},
        {"--serial", [&](const std::string& v) { return o.config.serial = v, true; }},
        {"--first-greeting-ms", micros(&o.config.firstGreetingMicros)},
        {"--greeting-ms", micros(&o.config.greetingPeriodMicros)},
        {"--erase-ms", micros(&o.config.eraseMicros)},
        {"--block-ms", micros(&o.config.blockMicros)},
        {"--finish-ms", micros(&o.config.finishMicros)},
        {"--upper-length", number32(&o.config.upperLength)},
        {"--silent-from",
         [&](const std::string& v) {
             o.faults.silentFrom = PhaseFromName(v);
             return o.faults.silentFrom.has_value();
         }},
        {"--error-at",
         [&](const std::string& v) {
             FaultPoint p;
             o.faults.errorAt = p;
             return ParsePoint(v, &*o.faults.errorAt);
         }},
        {"--error-code",
         [&](const std::string& v) {
             uint64_t n = 0;
             if (!ParseNumber(v, &n) || n > 0xFFFF) {
                 return false;
             }
             o.faults.errorCode = static_cast<uint16_t>(n);
             return true;
         }},
        {"--unexpected-at",
         [&](const std::string& v) {
             FaultPoint p;
             o.faults.unexpectedAt = p;
             return ParsePoint(v, &*o.faults.unexpectedAt);
         }},
        {"--unexpected-text",
         [&](const std::string& v) { return o.faults.unexpectedText = Unescape(v), true; }},
        {"--wrong-crc-block",
         [&](const std::string& v) {
             uint32_t k = 0;
             const bool ok = number32(&k)(v);
             o.faults.wrongCrcBlock = k;
             return ok;
         }},
        {"--noise", [&](const std::string& v) { return o.faults.noise = Unescape(v), true; }},
        {"--stray-line-feeds", number32(&o.faults.strayLineFeeds)},
        {"--disconnect-after",
         [&](const std::string& v) {
             uint64_t n = 0;
             const bool ok = ParseNumber(v, &n);
             o.faults.disconnectAfterBytes = n;
             return ok;
         }},
        {"--slow-erase-ms", micros(&o.faults.slowEraseExtraMicros)},
        {"--slow-erase-phase",
         [&](const std::string& v) {
             o.faults.slowErasePhase = PhaseFromName(v);
             return o.faults.slowErasePhase == Phase::Erasing ||
                    o.faults.slowErasePhase == Phase::UpperErasing;
         }},
        {"--slow-block-ms", micros(&o.faults.slowBlockExtraMicros)},
        {"--slow-block",
         [&](const std::string& v) {
             uint32_t k = 0;
             const bool ok = number32(&k)(v);
             o.faults.slowBlock = k;
             return ok;
         }},
        {"--devices",
         [&](const std::string& v) {
             return number32(&o.sequence.devices)(v) && o.sequence.devices > 0;
         }},
        {"--swap-ms", micros(&o.sequence.swapMicros)},
        {"--swap-greeting-ms",
         [&](const std::string& v) {
             uint64_t period = 0;
             const bool ok = micros(&period)(v) && period > 0;
             o.sequence.swapGreetingMicros = period;
             return ok;
         }},
        {"--log", [&](const std::string& v) { return o.logPath = v, !v.empty(); }},
        {"--linger-ms", micros(&o.lingerMicros)},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--star", [&] { o.config.star = true; }},
        {"--no-star", [&] { o.config.star = false; }},
        {"--no-line-feeds", [&] { o.config.lineFeeds = false; }},
        {"--ack-partial-block", [&] { o.config.ackPartialBlock = true; }},
        {"--exit-after-run", [&] { o.exitAfterRun = true; }},
        {"--pace", [&] { o.pace = true; }},
        {"--phases", [&] { o.phases = true; }},
        {"--greet-on-open", [&] { o.config.greetOnHostArrival = true; }},
        {"--help", [&] { o.help = true; }},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto flag = flags.find(arg); flag != flags.end()) {
            flag->second();
            continue;
        }
        auto setter = withValue.find(arg);
        if (setter == withValue.end()) {
            *error = "unknown option " + arg;
            return false;
        }
        if (i + 1 >= args.size()) {
            *error = arg + " needs a value";
            return false;
        }
        if (!setter->second(args[++i])) {
            *error = "bad value for " + arg + ": " + args[i];
            return false;
        }
    }
    return true;
}

std::string HexOf(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

void WriteDeviceReport(const DeviceModel& model, std::ostream& out) {
    const DeviceReport& r = model.Report();
    out << "final " << PhaseName(model.CurrentPhase()) << '\n';
    if (r.errorSent) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", *r.errorSent);
        out << "error " << code << '\n';
    } else {
        out << "error none\n";
    }
    out << "greetings " << r.greetings << '\n';
    out << "lengths lower=" << r.lowerLength << " upper=" << r.upperLength
        << " region0=" << r.length0 << " region1=" << r.length1 << '\n';
    out << "blocks-acknowledged " << r.blocksAcknowledged << '\n';
    for (const PhaseLog& log : r.phases) {
        out << "phase " << PhaseName(log.phase) << " at=" << log.enteredAtMicros
            << " speed=" << log.hostSpeedAtEntry << " speeds=";
        for (size_t i = 0; i < log.byteSpeeds.size(); ++i) {
            out << (i ? "," : "") << log.byteSpeeds[i];
        }
        out << " count=" << log.bytes.size() << " bytes=" << HexOf(log.bytes)
            << " first=" << log.firstByteAtMicros << " last=" << log.lastByteAtMicros << '\n';
    }
    for (const SentRecord& sent : r.sent) {
        out << "sent " << sent.atMicros << ' ' << PhaseName(sent.phase) << ' ' << Escape(sent.bytes)
            << (sent.garbled ? " garbled" : "") << '\n';
    }
    out << "received " << r.received.size() << ' ' << HexOf(r.received) << '\n';
    out.flush();
}

}  // namespace norvane::sim
