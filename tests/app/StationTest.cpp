// norvane-console --station as a production line runs it: several norvane-devsim on
// pseudo-terminals named with --port, every NORVANE_COMn empty, the report in a file, the
// production log beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/console/Sha256.h"
#include "tests/app/ConsoleLines.h"
#include "tests/app/GuiSession.h"
#include "tests/support/DevsimProcess.h"
#include "tests/support/TestImages.h"
#include "tests/support/WaitUntil.h"

namespace norvane::test {
namespace {

std::map<std::string, std::string> NoComPorts() {
    return PortsWith("");
}

// The JSON objects of `text` that parse flat, by event.
std::vector<std::map<std::string, std::string>> Events(const std::string& text,
                                                       const std::string& event) {
    std::vector<std::map<std::string, std::string>> found;
    for (const std::string& line : LinesOf(text)) {
        std::map<std::string, std::string> fields;
        if (ParseJsonObject(line, &fields) && fields["event"] == event) {
            found.push_back(fields);
        }
    }
    return found;
}

class Station : public testing::Test {
protected:
    // Every device erases for 1.5 s: the host switches to 115200 baud 0.5 s after "START", and a
    // busy machine (the sanitizer builds) must not make it late for the "ERASED" record.
    std::string StartDevice(std::vector<std::string> args) {
        args.insert(args.end(), {"--erase-ms", "1500"});
        devices_.push_back(std::make_unique<Devsim>(std::move(args)));
        return devices_.back()->ReadPath();
    }
    // The station carries the small OS image of the console tests: a few seconds a device.
    ChildProcess Start(std::vector<std::string> args) {
        args.insert(args.begin(), NORVANE_CONSOLE_OS_PATH);
        return StartChild(args, NoComPorts(), out_, err_);
    }
    // Polls the report until `condition` holds of it (generous limit: a loaded machine).
    bool OutputUntil(const std::function<bool(const std::string&)>& condition,
                     std::chrono::seconds limit = 90s) {
        return test::WaitUntil([&] { return condition(ReadFile(out_)); }, limit);
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t count = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++count;
        }
        return count;
    }

    std::vector<std::unique_ptr<Devsim>> devices_;
    const std::string out_ = WorkFile("station-out");
    const std::string err_ = WorkFile("station-err");
    const std::string log_ = WorkFile("station-log");
};

// A device, a device of the wrong kind, a silent port and a path that is not there; the first
// stop signal comes while the device is being programmed: the device is finished, the silent
// port's search ends, and the run ends with the first failing port's status.
TEST_F(Station, ProgramsEachPortsDeviceAndSummarizesThePorts) {
    unlink(log_.c_str());
    const std::string os = StartDevice({"--kind", "OS", "--pace", "--serial", "OS-1",
                                        "--first-greeting-ms", "300", "--greeting-ms", "3000"});
    const std::string tv = StartDevice({"--kind", "TV", "--serial", "TV-1"});
    const std::string silent = StartDevice({"--kind", "OS", "--first-greeting-ms", "600000"});
    ChildProcess station = Start({"--station", "--json", "--log", log_, "--port", os, "--port", tv,
                                  "--port", silent, "--port", "/nonexistent/ttyUSB9"});
    ASSERT_TRUE(OutputUntil([](const std::string& text) {
        return text.find(R"({"event":"result","port":"COM2")") != std::string::npos &&
               text.find(R"({"event":"phase","port":"COM1")") != std::string::npos;
    })) << ReadFile(out_)
        << ReadFile(err_);
    kill(station.Pid(), SIGTERM);
    ASSERT_EQ(station.Wait(60s), 14) << ReadFile(out_) << ReadFile(err_);

    const std::string out = ReadFile(out_);
    std::map<std::string, std::map<std::string, std::string>> results;
    for (auto& result : Events(out, "result")) {
        results[result["port"]] = result;
    }
    EXPECT_EQ(results["COM1"]["status"], "0");
    EXPECT_EQ(results["COM1"]["path"], os);
    EXPECT_EQ(results["COM2"]["status"], "14");
    EXPECT_EQ(results["COM4"]["status"], "13");
    EXPECT_EQ(results["COM4"]["detail"],
              "COM4 (/nonexistent/ttyUSB9) could not be opened: No such file or directory");
    EXPECT_EQ(results.count("COM3"), 0u);
    const auto idle = Events(out, "idle");
    ASSERT_EQ(idle.size(), 1u) << out;
    EXPECT_EQ(idle[0].at("port"), "COM3");
    // Every event names its port and path; the summary comes last.
    const auto lines = LinesOf(out);
    ASSERT_FALSE(lines.empty());
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(R"(,"port":"COM)"), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find(R"(,"path":")"), std::string::npos) << lines[i];
    }
    const std::string summary = lines.back();
    ASSERT_EQ(summary.rfind(R"({"event":"summary","ports":[)", 0), 0u) << summary;
    const auto port = [](const std::string& com, const std::string& path, const std::string& serial,
                         const char* result, int status) {
        return R"({"port":")" + com + R"(","path":")" + path + R"(","serial":")" + serial +
               R"(","result":")" + result + R"(","status":)" + std::to_string(status) + ",";
    };
    EXPECT_NE(summary.find(port("COM1", os, "OS-1  ", "programmed", 0)), std::string::npos)
        << summary;
    EXPECT_NE(summary.find(port("COM2", tv, "TV-1    ", "failed", 14)), std::string::npos);
    EXPECT_NE(summary.find(port("COM3", silent, "", "idle", 13)), std::string::npos);
    EXPECT_NE(summary.find(port("COM4", "/nonexistent/ttyUSB9", "", "failed", 13)),
              std::string::npos);
    EXPECT_NE(summary.find(R"("programmed":1,"failed":2,"already_programmed":0,"idle":1,)"),
              std::string::npos)
        << summary;

    // The log: one line for each device that reached a result, the image's fingerprint on it.
    const auto image = OsTestImage(0x400, 0x1FFF, "OS 3.10", 7);
    const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    std::map<std::string, std::map<std::string, std::string>> logged;
    for (const std::string& line : LinesOf(ReadFile(log_))) {
        std::map<std::string, std::string> fields;
        ASSERT_TRUE(ParseJsonObject(line, &fields)) << line;
        EXPECT_TRUE(std::regex_match(fields["time_start"], utc)) << line;
        EXPECT_TRUE(std::regex_match(fields["time_end"], utc)) << line;
        EXPECT_EQ(fields["image_sha256"], Sha256Hex(image));
        EXPECT_EQ(fields["image_version"], "OS 3.10");
        EXPECT_FALSE(fields["host"].empty());
        logged[fields["port"]] = fields;
    }
    ASSERT_EQ(logged.size(), 2u) << ReadFile(log_);
    EXPECT_EQ(logged["COM1"]["status"], "0");
    EXPECT_EQ(logged["COM1"]["kind"], "OS");
    EXPECT_EQ(logged["COM1"]["serial"], "OS-1  ");
    EXPECT_EQ(logged["COM2"]["status"], "14");
    EXPECT_EQ(logged["COM2"]["message"], "Wrong device detected on serial port");
}

// Two beds of three devices each; a device just programmed greets on until it is swapped. Each
// device is programmed once, the ones greeting on are left alone (no byte reaches them) and
// reported once each, and every device has its line in the log.
TEST_F(Station, ContinuousStationTakesEachNewDeviceAndNeverAProgrammedOneAgain) {
    unlink(log_.c_str());
    std::vector<std::string> reports, ports;
    for (const char* first : {"100", "200"}) {
        reports.push_back(TempLog((std::string("bed-") + first).c_str()));
        ports.push_back(
            StartDevice({"--kind", "OS", "--pace", "--serial", first, "--first-greeting-ms", "300",
                         "--greeting-ms", "3000", "--devices", "3", "--swap-ms", "1500",
                         "--swap-greeting-ms", "100", "--log", reports.back()}));
    }
    ChildProcess station = Start({"--station", "--continuous", "--json", "--log", log_, "--port",
                                  ports[0], "--port", ports[1]});
    ASSERT_TRUE(OutputUntil([](const std::string& text) {
        return Count(text, R"("status":0,"message":"Device correctly programmed")") == 6;
    })) << ReadFile(out_)
        << ReadFile(err_);
    kill(station.Pid(), SIGTERM);
    ASSERT_EQ(station.Wait(60s), 0) << ReadFile(err_);

    const std::string out = ReadFile(out_);
    std::set<std::string> programmed;
    for (auto& found : Events(out, "found")) {
        EXPECT_TRUE(programmed.insert(found["port"] + " " + found["serial"]).second)
            << "taken twice: " << found["serial"];
    }
    EXPECT_EQ(programmed, (std::set<std::string>{"COM1 100   ", "COM1 101   ", "COM1 102   ",
                                                 "COM2 200   ", "COM2 201   ", "COM2 202   "}));
    // Each device greeting on during its swap is reported at most once (the station sees it
    // once its next search has the port open).
    std::set<std::string> already;
    for (auto& event : Events(out, "already-programmed")) {
        EXPECT_TRUE(already.insert(event["port"] + " " + event["serial"]).second)
            << "reported twice: " << event["serial"];
        EXPECT_TRUE(programmed.count(event["port"] + " " + event["serial"])) << event["serial"];
    }
    EXPECT_GE(already.size(), 1u) << out;
    EXPECT_NE(LinesOf(out).back().find(R"(],"programmed":6,"failed":0,)"), std::string::npos)
        << LinesOf(out).back();
    EXPECT_NE(ReadFile(err_).find("Stopping: no new device is taken"), std::string::npos);

    std::set<std::string> logged;
    for (const std::string& line : LinesOf(ReadFile(log_))) {
        std::map<std::string, std::string> fields;
        ASSERT_TRUE(ParseJsonObject(line, &fields)) << line;
        EXPECT_EQ(fields["status"], "0");
        logged.insert(fields["serial"]);
    }
    EXPECT_EQ(logged.size(), 6u) << ReadFile(log_);
    EXPECT_EQ(LinesOf(ReadFile(log_)).size(), 6u);

    // On each bed: every device programmed exactly once, none left on the bed written to.
    for (auto& device : devices_) {
        device->Signal(SIGTERM);
        device->Wait();
    }
    for (const std::string& report : reports) {
        const std::string text = Slurp(report);
        EXPECT_EQ(Count(text, "\nfinal programmed\n"), 3u) << text;
        EXPECT_EQ(Count(text, "\nphase erasing "), 3u) << text;
        EXPECT_EQ(Count(text, "\nleft-on-bed "), 2u) << text;
        EXPECT_EQ(Count(text, " received 0\n"), 2u) << "a programmed device was written to";
    }
}

// The station killed outright while devices come and go: every line in the log is whole, and
// the lines of an earlier run stay as they were. Plain lines in a file carry no terminal
// control and each starts with its port.
TEST_F(Station, KilledStationLeavesOnlyWholeLogLines) {
    const std::string earlier = R"({"earlier":"run"})";
    {
        std::ofstream log(log_, std::ios::trunc);
        log << earlier << '\n';
    }
    const std::string port =
        StartDevice({"--kind", "OS", "--pace", "--serial", "500", "--first-greeting-ms", "300",
                     "--greeting-ms", "3000", "--devices", "20", "--swap-ms", "100"});
    ChildProcess station = Start({"--station", "--continuous", "--log", log_, "--port", port});
    test::WaitUntil([&] { return LinesOf(ReadFile(log_)).size() >= 3; }, 90s);
    kill(station.Pid(), SIGKILL);
    station.Wait(10s);

    const std::string log = ReadFile(log_);
    const auto lines = LinesOf(log);
    ASSERT_GE(lines.size(), 3u) << log;
    EXPECT_EQ(log.back(), '\n') << "a line cut short";
    EXPECT_EQ(lines[0], earlier);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::map<std::string, std::string> fields;
        EXPECT_TRUE(ParseJsonObject(lines[i], &fields)) << lines[i];
        EXPECT_EQ(fields["port"], "COM1") << lines[i];
    }
    const std::string out = ReadFile(out_);
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    for (const std::string& line : LinesOf(out)) {
        EXPECT_EQ(line.rfind("COM1: ", 0), 0u) << line;
    }
}

// Command lines that parse but cannot run: one line on stderr each, status 64, nothing on
// standard output and no port opened.
TEST_F(Station, RefusesBadInputBeforeAnyPortIsOpened) {
    const std::string port = StartDevice({"--kind", "OS"});
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::string noFolder = "/nonexistent/station.log";
    for (const Case& c : std::vector<Case>{
             {{"--station", "--port", "COM1", "--port", port},
              "the port " + port + " is named twice."},
             {{"--station", "--port", port, "--port", port},
              "the port " + port + " is named twice."},
             {{"--continuous", "--port", port}, "--continuous needs --station."},
             {{"--station", "--port", port, "--log", noFolder},
              "the log " + noFolder + " cannot be opened for appending: No such file or directory"},
             {{"--station", "--port"}, "--port needs a value. Try --help."},
         }) {
        std::vector<std::string> argv{NORVANE_CONSOLE_OS_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto env = NoComPorts();
        env["NORVANE_COM1"] = port;
        ChildProcess refused = StartChild(argv, env, out_, err_);
        EXPECT_EQ(refused.Wait(10s), 64) << c.said;
        EXPECT_EQ(ReadFile(err_), "norvane-console: " + c.said + "\n");
        EXPECT_EQ(ReadFile(out_), "");
    }
}

TEST(Sha256, KnownDigests) {
    const auto hex = [](const std::string& text) {
        return Sha256Hex({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a', added in pieces that straddle the 64-byte blocks.
    Sha256 hash;
    const std::vector<uint8_t> piece(997, 'a');
    size_t added = 0;
    while (added < 1'000'000) {
        const size_t take = std::min(piece.size(), 1'000'000 - added);
        hash.Add({piece.data(), take});
        added += take;
    }
    const auto digest = hash.Finish();
    EXPECT_EQ(Sha256Hex(std::vector<uint8_t>(1'000'000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(std::vector<uint8_t>(digest.begin(), digest.begin() + 4),
              (std::vector<uint8_t>{0xcd, 0xc7, 0x6e, 0x5c}));
    EXPECT_EQ(digest[31], 0xd0);
}

}  // namespace
}  // namespace norvane::test
