// The production line behind the virtual controller: controllers fresh from
// the factory, swapped by hand or after their re-identification, and what
// each one served keeps. Requests go to the controller straight, each 100 ms
// of its time (the batch words of Scenario.h).
#include <gtest/gtest.h>

#include <array>

#include "tests/support/Scenario.h"

using namespace kv::test;

namespace {

// " / summary = " and the line's summary: each controller's asset, client and
// parameters changed ("": none).
std::string summary(const std::vector<std::array<std::string, 3>>& units) {
    std::string out = " / summary = ";
    for (std::size_t n = 1; n <= units.size(); ++n) {
        const auto& [asset, client, changed] = units[n - 1];
        char head[40];
        std::snprintf(head, sizeof head, "%02zu  0004A3B1C2%02zu  asset \"", n, n);
        out += head + asset + "\"  client \"" + client + "\"  " + (changed.empty() ? "factory parameters" : changed) +
               "\n";
    }
    return out;
}

const std::string mac2 = "18 01 0C \"0004A3B1C202\"";

// The dashboard's automatic setting as the controller hears it: after each
// request, the controller on the line (`on`, one digit a request).
std::string provisioning(const std::string& on) {
    const char* requests[] = {"asset", "set-asset A-1", "mac", "set-client 005", "params", "write 1 441", "enter",
                              "write 12 455", "write 30 2", "leave"};
    std::string out;
    for (std::size_t i = 0; i < 10; ++i) out += std::string(" / ") + requests[i] + " / current = " + on.at(i);
    return out;
}

TEST(ProductionLine, EveryControllerComesFromTheFactoryWithItsOwnMacAndChecksum) {
    const int count = kv::sim::ProductionLine::kMaxCount;
    std::string text = "line " + std::to_string(count);
    for (int n = 1; n <= count; ++n) {
        char mac[96];
        std::snprintf(mac, sizeof mac, " / current = %d / mac = 18 01 0C \"0004A3B1C2%02d\" / sum-in-config = 1", n, n);
        text += mac + std::string(" / asset = 16 01 02 00 00 / client = 15 01 03 \"<00\" / params = factory / "
                                  "service = 0 / next = ") + (n < count ? "1" : "0");
    }
    playScripts({{"every controller", text + " / sums = " + std::to_string(count)}});
}

// Controller 2 answers as a fresh one would whatever controller 1 was left in;
// controller 1 leaves with what was written to it, out of service mode.
TEST(ProductionLine, TheNextControllerKeepsNothingOfTheConnectionBefore) {
    const std::string after = " / mac = " + mac2 + " / unit 2 factory = 1";
    playScripts({
        {"service mode: a write outside it is refused",
         "line 2 / service-only / enter / next = 1 / service = 0 / write 12 455 = 07 01 01 00" + after},
        {"the restart's deafness", "line 2 / leave / next = 1 / service = 0" + after},
        {"the repeat count", "line 2 / repeat 2 / mac / next = 1 / mac =" + after},
        {"a half-received request", "line 2 / raw 18 01 / next = 1 / raw 01 00 =" + after},
        {"what was written stays with controller 1",
         "line 3 / enter / write 12 455 = 07 01 01 00 / write 30 2 / set-asset A-77 = 16 01 06 \"A-77\" 00 00 / "
         "set-client 005 = 15 01 03 \"005\" / next = 1 / set-asset B-2 / unit 1 asset = A-77 / unit 1 client = 005 / "
         "unit 1 service = 0 / unit 3 asset = " +
             summary({{"A-77", "005", "P012=455 P030=2"}, {"B-2", "<00", ""}})},
    });
}

// The summary lists what differs from the line's own factory values, not the
// definition file's defaults; raw 16-bit values within their limits or not are
// read back high byte first from every controller.
TEST(ProductionLine, TheSummaryListsOnlyParametersThatDifferFromTheLinesFactoryValues) {
    const std::pair<std::string, std::string> cases[] = {
        {"line 2 / enter", ""},
        {"line 2 / enter / write 1 440 / write 39 53", ""},
        {"line 2 / enter / write 12 455 / write 30 2", "P012=455 P030=2"},
        {"line 2 / enter / write 39 0 / write 1 441", "P001=441 P039=0"},
        {"line 2 / enter / write 12 455 / write 12 480", ""},
        {"line 2 / enter / write 5 65535", "P005=65535"},
        {"line 2 / enter / write 40 7", ""},
        {"line 2 1=65535 2=0 / params = factory / next / params = factory / enter", ""},
        {"line 2 38=40000 / params = factory / next / params = factory / enter", ""},
        {"line 2 12=1000 / params = factory / next / params = factory / enter / write 12 480", "P012=480"},
        {"line 2 12=1000 / next / enter / write 12 455 / write 12 1000", ""},
    };
    std::vector<std::pair<std::string, std::string>> scripts;
    for (const auto& [steps, changed] : cases) {
        const bool second = steps.find("next") != std::string::npos;
        scripts.push_back({steps, steps + (second ? summary({{"", "<00", ""}, {"", "<00", changed}})
                                                  : summary({{"", "<00", changed}}))});
    }
    playScripts(scripts);
}

// The dashboard's automatic setting as the controller hears it, with
// controllers swapped at the points asked for: which controller is on the
// line after each request, what each one holds in the end, and which swap
// at a point was last, until the next swap made otherwise.
TEST(ProductionLine, SwapsDuringProvisioningAfterTheReplyAtItsPoint) {
    const std::array<std::string, 3> done = {"A-1", "005", "P001=441 P012=455 P030=2"}, fresh = {"", "<00", ""};
    const std::string reset = " / next = 1 / swapped = none";
    playScripts({
        {"none", "line 3" + provisioning("1111111111") + " / swapped = none" + reset + summary({done, fresh})},
        {"1:asset", "line 3 / swap 1 asset" + provisioning("1112222222") + " / swapped = 1" + reset +
                        summary({{"A-1", "<00", ""}, {"", "005", done[2]}, fresh})},
        {"1:client", "line 3 / swap 1 client" + provisioning("1111222222") + " / swapped = 1" + reset +
                         summary({{"A-1", "005", ""}, {"", "<00", done[2]}, fresh})},
        {"1:bulk", "line 3 / swap 1 bulk" + provisioning("1111111122") + " / swapped = 1" + reset +
                       summary({{"A-1", "005", "P001=441 P012=455"}, {"", "<00", "P030=2"}, fresh})},
        {"1:bulk, its first acknowledgement lost",
         "line 3 / swap 1 bulk / lose 1" + provisioning("1111111112") + " / swapped = 1" + reset +
             summary({done, fresh, fresh})},
        {"1:client and 2:bulk",
         "line 3 / swap 2 bulk / swap 1 client" + provisioning("1111222233") + " / swapped = 2" +
             summary({{"A-1", "005", ""}, {"", "<00", "P001=441 P012=455"}, {"", "<00", "P030=2"}})},
        {"2:asset leaves controller 1 alone",
         "line 3 / swap 2 asset" + provisioning("1111111111") + " / swapped = none" + reset + summary({done, fresh})},
        {"not past the last controller",
         "line 1 / swap 1 asset / swap 1 bulk" + provisioning("1111111111") + " / swapped = none / next = 0" +
             summary({done})},
    });
}

// Requests some time apart, the replies they get and the controller on the
// line afterwards.
TEST(ProductionLine, SwapsByItselfOnlyAfterARestartedControllerAnsweredAnAssetRequest) {
    const std::string blank = "16 01 02 00 00";
    playScripts({
        {"restart, then the asset request: its reply still comes from controller 1",
         "line 3 / auto / set-asset A-1 = 16 01 05 \"A-1\" 00 00 / enter / leave / advance 2000 / "
         "mac = 18 01 0C \"0004A3B1C201\" / current = 1 / asset = 16 01 05 \"A-1\" 00 00 / current = 2 / asset = " +
             blank + " / mac = " + mac2 + " / current = 2"},
        {"an asset request without a restart",
         "line 3 / auto / asset = " + blank + " / enter / asset = " + blank + " / current = 1"},
        {"an asset set after a restart",
         "line 3 / auto / enter / leave / advance 2000 / set-asset A-9 = 16 01 05 \"A-9\" 00 00 / current = 1 / "
         "asset = 16 01 05 \"A-9\" 00 00 / current = 2"},
        {"an asset request the restarting controller did not hear",
         "line 3 / auto / leave / advance 500 / asset = / current = 1 / advance 1500 / asset = " + blank +
             " / current = 2"},
        {"leaving service mode without entering it restarts too",
         "line 2 / auto / leave = 08 01 01 00 / advance 2000 / asset = " + blank + " / current = 2"},
        {"only when asked to", "line 3 / leave / advance 2000 / asset = " + blank + " / current = 1"},
        {"not past the last controller",
         "line 2 / auto / leave / advance 2000 / asset = " + blank + " / current = 2 / leave / advance 2000 / "
         "asset = " + blank + " / current = 2 / mac = " + mac2},
        // Bytes that came in with the asset request reached controller 1, which
        // leaves the line with them; controller 2 hears only what comes after.
        {"bytes arriving with the last request",
         "line 2 / auto / leave / advance 2000 / raw 16 01 01 00 18 01 01 00 18 01 = " + blank +
             " / current = 2 / raw 01 00 = / mac = " + mac2},
        {"next after the last controller changes nothing",
         "line 2 / next = 1 / set-asset LAST / raw 18 01 / next = 0 / current = 2 / raw 01 00 = " + mac2 +
             summary({{"", "<00", ""}, {"LAST", "<00", ""}})},
    });
}

// A reply's length is one byte: the longest asset fills it, a longer one is
// cut to fit, and a configuration that cannot fit is not sent. A parameter
// read asking for more values than a reply can carry (found by the request
// fuzzer: it threw out of the simulator) answers the first 126.
TEST(VirtualControllerReplies, FitTheirLengthByte) {
    const std::string full = "16 01 FF \"" + std::string(253, 'A') + "\" 00 00";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"an asset of 253", "asset-text 253 / asset = " + full},
        {"an asset of 254", "asset-text 254 / asset = " + full},
        {"an asset of 300", "asset-text 300 / asset = " + full},
        {"a configuration of 255", "config-bytes 255 / config = 05 01 FF 11* / size = 258"},
        {"a configuration of 256", "config-bytes 256 / config = too long"}};
    for (std::size_t asked : {39u, 126u, 127u, 252u}) {
        std::string request = "raw 06 01 " + render({std::uint8_t(asked + 2)});
        for (std::size_t i = 0; i < asked; ++i) request += " " + render({std::uint8_t(1 + i % 39)});
        const std::size_t values = std::min<std::size_t>(asked, 126);
        cases.push_back({std::to_string(asked) + " values asked",
                         request + " 99 99 = 06 01 " + render({std::uint8_t(2 * values + 2)}) +
                             " 01 B8*99 99 / pieces = 1 / size = " + std::to_string(5 + 2 * values)});
    }
    playScripts(cases);
}

}  // namespace
