// The production line behind the virtual controller: controllers fresh from
// the factory, swapped by hand or after their re-identification, and what
// each one served keeps.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "link/Frames.h"
#include "sim/ProductionLine.h"
#include "sim/VirtualController.h"
#include "tests/support/BatchHelpers.h"
#include "tests/support/Hex.h"

using kv::sim::Bytes;
namespace frames = kv::link;
using kv::test::like;

namespace {

// Bytes as hex, runs of two or more printable characters as "text".
std::string render(const Bytes& bytes) {
    std::string out;
    for (std::size_t i = 0, end = 0; i < bytes.size(); i = std::max(end, i + 1)) {
        for (end = i; end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x7F && bytes[end] != '"';) ++end;
        char b[4];
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        out += (out.empty() ? "" : " ") + (end - i > 1 ? '"' + std::string(&bytes[i], &bytes[i] + end - i) + '"' : b);
    }
    return out;
}

// A line of controllers spoken to through their byte interface, each request
// 100 ms of the controller's time, played from a script of steps split by " / ".
//   line N [P=V..]                      N controllers, the line's factory values P=V
//   auto | swap N asset|client|bulk     swaps after a restart's asset request | at a point
//   service-only | repeat N | lose N    the controller's modes
//   asset-text N | config-bytes N       the controller's asset of N 'A's | configuration of N bytes 11
//   mac sum config asset client params enter leave | set-asset A | set-client C | write P V | raw HEX
//                                       requests; the reply rendered ("factory": the line's values)
//   wait MS | next                      time passes | the next controller on the line (1 or 0)
//   provisioning                        the dashboard's setting: the controller on the line after each request
//   WHAT = VALUE                        a check ('*': any text). WHAT: a request, next, current, size (of
//                                       the last reply), pieces (it came in), service, summary, unit N asset|
//                                       client|service|factory, swapped (the controller the last swap at a
//                                       point took away), sums (distinct checksums), sum-in-config (the
//                                       checksum and the configuration's agree)
struct Bench {
    kv::sim::VirtualController controller;
    std::optional<kv::sim::ProductionLine> line;
    kv::sim::Params factory = kv::sim::kFactoryParams;
    std::int64_t now = 0;
    Bytes last;
    std::size_t pieces = 0;  // the last reply came in that many
    std::set<Bytes> sums;

    std::string send(const Bytes& bytes) {
        last.clear();
        const auto got = controller.receive(bytes, now);
        pieces = got.size();
        for (auto& piece : got) last.insert(last.end(), piece.bytes.begin(), piece.bytes.end());
        now += 100;
        if (bytes == frames::frameGetChecksum()) sums.insert(last);
        return render(last);
    }
    std::string run(const std::string& s) {
        std::istringstream in(s);
        std::string w, a, b;
        in >> w >> a >> b;
        auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
        auto number = [](const std::string& t) { return std::stoi(t); };
        using P = kv::sim::SwapPoint;
        using Frame = Bytes (*)();
        const std::map<std::string, std::function<std::string()>> words{
            {"line", [&] {
                 for (std::string pv = b; !pv.empty(); pv = in >> pv ? pv : "")
                     factory[number(pv) - 1] = std::uint16_t(number(pv.substr(pv.find('=') + 1)));
                 return line.emplace(controller, number(a), kv::sim::ControllerState{}, factory), "";
             }},
            {"auto", [&] { return line->autoSwap = true, ""; }},
            {"swap", [&] {
                 const P at = b == "asset" ? P::AssetSet : b == "client" ? P::ClientSet : P::BulkWrite;
                 return line->swapsDuring.push_back({number(a), at}), "";
             }},
            {"service-only", [&] { return controller.modes.storeOnlyInServiceMode = true, ""; }},
            {"repeat", [&] { return controller.modes.answerOnRepeat = number(a), ""; }},
            {"lose", [&] { return controller.modes.loseAckForFrame = number(a), ""; }},
            {"asset-text", [&] { return controller.state.asset = std::string(number(a), 'A'), ""; }},
            {"config-bytes", [&] { return controller.state.config = Bytes(number(a), 0x11), ""; }},
            {"wait", [&] { return now += std::stoll(a), ""; }},
            {"next", [&] { return flag(line->next()); }},
            {"provisioning", [&] {
                 std::string out;
                 for (const Bytes& r :
                      {frames::frameGetAsset(), frames::frameSetAsset("A-1"), frames::frameGetMac(),
                       frames::frameSetClient("005"), frames::frameReadParams(),
                       frames::frameWriteParams({frames::splitParam(1, 441)}), frames::frameServiceMode(true),
                       frames::frameWriteParams({frames::splitParam(12, 455)}),
                       frames::frameWriteParams({frames::splitParam(30, 2)}), frames::frameServiceMode(false)})
                     out += (send(r), std::to_string(line->current()));
                 return out;
             }},
            {"current", [&] { return std::to_string(line->current()); }},
            {"size", [&] { return std::to_string(last.size()); }},
            {"pieces", [&] { return std::to_string(pieces); }},
            {"service", [&] { return flag(controller.state.serviceMode); }},
            {"summary", [&] { return line->summary(); }},
            {"unit", [&] {
                 const auto& u = line->unit(number(a));
                 return b == "asset"    ? u.asset
                        : b == "client" ? u.client
                                        : flag(b == "service" ? u.serviceMode : u.params == factory);
             }},
            {"swapped",
             [&] { return line->lastSwapDuring() ? std::to_string(line->lastSwapDuring()->controller) : "none"; }},
            {"sums", [&] { return std::to_string(sums.size()); }},
            {"sum-in-config", [&] {
                 const Bytes sum = (send(frames::frameGetChecksum()), last),
                             config = (send(frames::frameGetConfig()), last);
                 return flag(sum.size() == 5 && config.size() >= 27 && config[24] == sum[4] && config[25] == sum[3]);
             }},
            {"write", [&] { return send(frames::frameWriteParams({frames::splitParam(number(a), number(b))})); }},
            {"raw", [&] { return send(kv::test::fromHex(s.substr(4))); }},
            {"set-asset", [&] { return send(frames::frameSetAsset(a)); }},
            {"set-client", [&] { return send(frames::frameSetClient(a)); }},
            {"enter", [&] { return send(frames::frameServiceMode(true)); }},
            {"leave", [&] { return send(frames::frameServiceMode(false)); }},
            {"params", [&] {
                 Bytes mine{0x06, 0x01, 2 * 39 + 2};
                 for (auto v : factory) mine.insert(mine.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
                 mine.insert(mine.end(), {0x99, 0x99});
                 const std::string got = send(frames::frameReadParams());
                 return last == mine ? "factory" : got;
             }}};
        const std::map<std::string, Frame> requests{{"mac", frames::frameGetMac},
                                                    {"sum", frames::frameGetChecksum},
                                                    {"config", frames::frameGetConfig},
                                                    {"asset", frames::frameGetAsset},
                                                    {"client", frames::frameGetClient}};
        if (auto r = requests.find(w); r != requests.end()) return send(r->second());
        return words.contains(w) ? words.at(w)() : "names nothing";
    }
};

void play(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [name, script] : cases) {
        SCOPED_TRACE(name);
        Bench b;
        for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 3) {
            const std::string s = script.substr(at, (end = script.find(" / ", at)) - at);
            SCOPED_TRACE(s);
            const auto is = std::min((s + " ").find(" = "), s.size());
            std::string seen;
            try {
                seen = b.run(s.substr(0, is));
            } catch (const std::length_error&) {
                seen = "too long";
            }
            EXPECT_TRUE(is == s.size() ? seen != "names nothing" : like(seen, s.substr(std::min(s.size(), is + 3))))
                << "seen: " << seen;
        }
    }
}

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

TEST(ProductionLine, EveryControllerComesFromTheFactoryWithItsOwnMacAndChecksum) {
    const int count = kv::sim::ProductionLine::kMaxCount;
    std::string script = "line " + std::to_string(count);
    for (int n = 1; n <= count; ++n) {
        char mac[96];
        std::snprintf(mac, sizeof mac, " / current = %d / mac = 18 01 0C \"0004A3B1C2%02d\" / sum-in-config = 1", n, n);
        script += mac + std::string(" / asset = 16 01 02 00 00 / client = 15 01 03 \"<00\" / params = factory / "
                                    "service = 0 / next = ") + (n < count ? "1" : "0");
    }
    play({{"every controller", script + " / sums = " + std::to_string(count)}});
}

// Controller 2 answers as a fresh one would whatever controller 1 was left in;
// controller 1 leaves with what was written to it, out of service mode.
TEST(ProductionLine, TheNextControllerKeepsNothingOfTheConnectionBefore) {
    const std::string after = " / mac = " + mac2 + " / unit 2 factory = 1";
    play({
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
    play(scripts);
}

// The dashboard's automatic setting as the controller hears it, with
// controllers swapped at the points asked for: which controller is on the
// line after each request, what each one holds in the end, and which swap
// at a point was last, until the next swap made otherwise.
TEST(ProductionLine, SwapsDuringProvisioningAfterTheReplyAtItsPoint) {
    const std::array<std::string, 3> done = {"A-1", "005", "P001=441 P012=455 P030=2"}, fresh = {"", "<00", ""};
    const std::string reset = " / next = 1 / swapped = none";
    play({
        {"none", "line 3 / provisioning = 1111111111 / swapped = none" + reset + summary({done, fresh})},
        {"1:asset", "line 3 / swap 1 asset / provisioning = 1112222222 / swapped = 1" + reset +
                        summary({{"A-1", "<00", ""}, {"", "005", done[2]}, fresh})},
        {"1:client", "line 3 / swap 1 client / provisioning = 1111222222 / swapped = 1" + reset +
                         summary({{"A-1", "005", ""}, {"", "<00", done[2]}, fresh})},
        {"1:bulk", "line 3 / swap 1 bulk / provisioning = 1111111122 / swapped = 1" + reset +
                       summary({{"A-1", "005", "P001=441 P012=455"}, {"", "<00", "P030=2"}, fresh})},
        {"1:bulk, its first acknowledgement lost",
         "line 3 / swap 1 bulk / lose 1 / provisioning = 1111111112 / swapped = 1" + reset +
             summary({done, fresh, fresh})},
        {"1:client and 2:bulk",
         "line 3 / swap 2 bulk / swap 1 client / provisioning = 1111222233 / swapped = 2" +
             summary({{"A-1", "005", ""}, {"", "<00", "P001=441 P012=455"}, {"", "<00", "P030=2"}})},
        {"2:asset leaves controller 1 alone",
         "line 3 / swap 2 asset / provisioning = 1111111111 / swapped = none" + reset + summary({done, fresh})},
        {"not past the last controller",
         "line 1 / swap 1 asset / swap 1 bulk / provisioning = 1111111111 / swapped = none / next = 0" +
             summary({done})},
    });
}

// Requests some time apart, the replies they get and the controller on the
// line afterwards.
TEST(ProductionLine, SwapsByItselfOnlyAfterARestartedControllerAnsweredAnAssetRequest) {
    const std::string blank = "16 01 02 00 00";
    play({
        {"restart, then the asset request: its reply still comes from controller 1",
         "line 3 / auto / set-asset A-1 = 16 01 05 \"A-1\" 00 00 / enter / leave / wait 2000 / "
         "mac = 18 01 0C \"0004A3B1C201\" / current = 1 / asset = 16 01 05 \"A-1\" 00 00 / current = 2 / asset = " +
             blank + " / mac = " + mac2 + " / current = 2"},
        {"an asset request without a restart",
         "line 3 / auto / asset = " + blank + " / enter / asset = " + blank + " / current = 1"},
        {"an asset set after a restart",
         "line 3 / auto / enter / leave / wait 2000 / set-asset A-9 = 16 01 05 \"A-9\" 00 00 / current = 1 / "
         "asset = 16 01 05 \"A-9\" 00 00 / current = 2"},
        {"an asset request the restarting controller did not hear",
         "line 3 / auto / leave / wait 500 / asset = / current = 1 / wait 1500 / asset = " + blank + " / current = 2"},
        {"leaving service mode without entering it restarts too",
         "line 2 / auto / leave = 08 01 01 00 / wait 2000 / asset = " + blank + " / current = 2"},
        {"only when asked to", "line 3 / leave / wait 2000 / asset = " + blank + " / current = 1"},
        {"not past the last controller",
         "line 2 / auto / leave / wait 2000 / asset = " + blank + " / current = 2 / leave / wait 2000 / asset = " +
             blank + " / current = 2 / mac = " + mac2},
        // Bytes that came in with the asset request reached controller 1, which
        // leaves the line with them; controller 2 hears only what comes after.
        {"bytes arriving with the last request",
         "line 2 / auto / leave / wait 2000 / raw 16 01 01 00 18 01 01 00 18 01 = " + blank +
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
    play(cases);
}

}  // namespace
