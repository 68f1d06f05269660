// kv5x-sim: a virtual KV53 controller on a pseudo-terminal. It links the
// dashboard's port COM<n> to the terminal, prints every request and reply
// (with the parameter values after every parameter write, and service mode
// changes), and serves until stopped. With --line it serves a production
// line of controllers, one after another.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ports/PortMap.h"
#include "link/Frames.h"
#include "platform/Desktop.h"
#include "sim/ProductionLine.h"
#include "sim/VirtualController.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

const char* kUsage =
    "usage: kv5x-sim [options]\n"
    "  --com N           port number to link (default 10)\n"
    "  --delay MS        reply delay in ms (default 20)\n"
    "  --chunk MODE      whole | byte | N (send the first N bytes, then the rest)\n"
    "  --silent          never answer\n"
    "  --double          follow every reply by a status reply in the same piece\n"
    "  --answer-on N     answer a request only at its N-th repeat\n"
    "  --restart-ms MS   deaf this long after leaving service mode (default 2000)\n"
    "  --lose-ack N      store the N-th parameter-write frame after entering service\n"
    "                    mode but do not acknowledge it (0 to 1000; 0: never)\n"
    "  --store-only-in-service  acknowledge parameter writes outside service mode\n"
    "                    but do not store them\n"
    "  --no-store-client answer a client set with the unchanged client, keeping it\n"
    "  --short-read N    answer a parameter read with its first N values only (1 to {P})\n"
    "  --fw TEXT         three firmware characters (default K5b; a third character\n"
    "                    other than b marks an unsupported controller)\n"
    "  --fw-version A.B.C  the three version numbers (default 1.6.2)\n"
    "  --short-fw        answer the firmware request in the short form\n"
    "  --config HEX      the configuration reply's payload, as hex digits\n"
    "  --outputs BITS    output 1, output 2, light, heater as four 0/1 digits (default 1010)\n"
    "  --checksum HEX    16-bit checksum (default 1A2B)\n"
    "  --mac TEXT        12-character MAC (default 0004A3B1C2D3)\n"
    "  --client TEXT     3-character client ID (default 005)\n"
    "  --asset TEXT      asset ID, at most 253 characters (default A1234)\n"
    "  --temps A,B,C     raw temperature readings (300 = 0.0; 0 = invalid)\n"
    "  --door-open       report the door open\n"
    "  --param N=V       parameter N (1 to {P}) holds the raw value V (0 to 65535),\n"
    "                    within its limits or not; repeatable. With --line, the\n"
    "                    factory value of every controller on the line\n"
    "  --values FILE     parameter values from FILE, one N=V a line as --param;\n"
    "                    blank lines and lines starting with # are skipped\n"
    "  --quiet           do not print the exchanges\n"
    "  --line N          serve a production line of N controllers (1 to 99), each\n"
    "                    fresh from the factory: MAC 0004A3B1C2 and its number\n"
    "                    in two digits, its own checksum, no asset, client <00,\n"
    "                    factory parameters. Enter on standard input swaps in\n"
    "                    the next one; every swap and the end print what each\n"
    "                    controller served holds. Not with --mac, --client,\n"
    "                    --asset or --checksum\n"
    "  --line-mac TEXT   with --line: the ten hex digits every controller's MAC\n"
    "                    begins with (default 0004A3B1C2), for two lines apart\n"
    "  --auto-swap       with --line: swap in the next controller by itself once\n"
    "                    the current one, restarted after leaving service mode,\n"
    "                    has answered an asset request (the dashboard's\n"
    "                    identification ends with it)\n"
    "  --swap-during K:POINT  with --line: swap controller K (1 to N-1) for the\n"
    "                    next one right after it answered its asset set (asset),\n"
    "                    its client set (client) or the first parameter write\n"
    "                    it acknowledged in service mode (bulk): K answers that\n"
    "                    request and a MAC get right after it, K+1 the next\n"
    "                    request. Repeatable\n";

// The line settings the dashboard put on the terminal, as "9600,E,7,2".
std::string lineSettings(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return {};
    static const std::pair<speed_t, int> speeds[] = {{B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},
                                                     {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                                                     {B57600, 57600}, {B115200, 115200}};
    int baud = 0;
    for (auto [code, rate] : speeds)
        if (cfgetospeed(&t) == code) baud = rate;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    const tcflag_t size = t.c_cflag & CSIZE;
    const int bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    return std::to_string(baud) + "," + parity + "," + std::to_string(bits) + "," + ((t.c_cflag & CSTOPB) ? "2" : "1");
}

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Three whole numbers separated by `sep`, such as 1.6.2.
std::array<unsigned long, 3> triple(const std::string& text, char sep, const char* complaint) {
    std::size_t p1 = text.find(sep), p2 = p1 == std::string::npos ? p1 : text.find(sep, p1 + 1);
    if (p2 == std::string::npos) throw std::runtime_error(complaint);
    return {std::stoul(text.substr(0, p1)), std::stoul(text.substr(p1 + 1, p2 - p1 - 1)), std::stoul(text.substr(p2 + 1))};
}

// A whole number from `low` to `high`, digits only.
int wholeNumber(const std::string& text, int low, int high, const std::string& option) {
    const std::string complaint = option + " needs a whole number " + std::to_string(low) + " to " + std::to_string(high);
    if (text.empty() || text.size() > 9) throw std::runtime_error(complaint);
    for (char ch : text)
        if (ch < '0' || ch > '9') throw std::runtime_error(complaint);
    int n = std::stoi(text);
    if (n < low || n > high) throw std::runtime_error(complaint);
    return n;
}

// Blanks (spaces, tabs, a carriage return) off both ends.
std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "N=V", N a parameter number and V a raw value 0 to 65535, into the
// parameter values; false, and nothing changes, for anything else.
bool setParam(const std::string& text, kv::sim::Params& params) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) return false;
    const std::string n = trimmed(text.substr(0, eq)), v = trimmed(text.substr(eq + 1));
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(n) || !digits(v)) return false;
    const int number = std::stoi(n), value = std::stoi(v);
    if (!kv::link::kKV53.holds(number) || value > 65535) return false;
    params[static_cast<std::size_t>(number - 1)] = static_cast<std::uint16_t>(value);
    return true;
}

// The model's parameter count in place of each {P}.
std::string withCount(std::string text) {
    for (std::size_t at; (at = text.find("{P}")) != std::string::npos;)
        text.replace(at, 3, std::to_string(kv::link::kKV53.params));
    return text;
}

const std::string kParamForm = withCount("N=V, N a parameter number 1 to {P} and V a raw value 0 to 65535");

// A file of N=V lines; blank lines and lines starting with # are skipped.
// A line that is neither refuses the whole file, naming it and the line.
void readValues(const std::string& path, kv::sim::Params& params) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("--values: cannot read " + path + ": " + std::strerror(errno));
    kv::sim::Params read = params;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const std::string line = trimmed(text);
        if (line.empty() || line[0] == '#') continue;
        if (!setParam(line, read))
            throw std::runtime_error("--values: " + path + ", line " + std::to_string(number) + ": \"" + line +
                                     "\" is not " + kParamForm);
    }
    if (in.bad()) throw std::runtime_error("--values: cannot read " + path);
    params = read;
}

// "K:asset", "K:client" or "K:bulk", K a controller's number on the line.
kv::sim::SwapDuring swapDuring(const std::string& text) {
    const auto colon = text.find(':');
    const std::string k = text.substr(0, colon), point = colon == std::string::npos ? "" : text.substr(colon + 1);
    const bool number = !k.empty() && k.size() <= 2 && k.find_first_not_of("0123456789") == std::string::npos;
    if (!number || std::stoi(k) < 1 || (point != "asset" && point != "client" && point != "bulk"))
        throw std::runtime_error("--swap-during needs K:asset, K:client or K:bulk, K a controller's number");
    const auto at = point == "asset"    ? kv::sim::SwapPoint::AssetSet
                    : point == "client" ? kv::sim::SwapPoint::ClientSet
                                        : kv::sim::SwapPoint::BulkWrite;
    return {std::stoi(k), at};
}

// What a parameter-write frame did: refused or unknown numbers, a withheld
// acknowledgement, and every value the controller holds afterwards.
void printParamWrite(const kv::sim::VirtualController& c, const kv::sim::VirtualController::Exchange& x) {
    bool refused = false, inService = false;
    for (std::size_t i = x.firstWrite; i < x.firstWrite + x.writeCount; ++i) {
        const auto& w = c.paramWrites[i];
        inService = w.inServiceMode;
        if (!kv::link::kKV53.holds(w.number)) std::printf("   not stored: no parameter %d\n", w.number);
        else if (!w.stored) refused = true;
    }
    if (refused) std::printf("   not stored: outside service mode\n");
    if (!x.reply) std::printf("   stored, acknowledgement withheld (--lose-ack)\n");
    if (x.writeCount == 0) std::printf("   parameters (the frame carried no values):\n");
    else std::printf("   parameters (written %s service mode):\n", inService ? "in" : "outside");
    const auto& values = *x.paramsAfter;
    for (std::size_t i = 0; i < values.size(); i += 10) {
        std::string line = "  ";
        for (std::size_t k = i; k < std::min(i + 10, values.size()); ++k) {
            char cell[24];
            std::snprintf(cell, sizeof cell, " P%03d=%-5d", static_cast<int>(k + 1), values[k]);
            line += cell;
        }
        while (line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

struct Options {
    int com = 10;
    bool quiet = false;
    int line = 0;  // controllers on a production line; 0: one controller
    bool autoSwap = false;
    std::vector<kv::sim::SwapDuring> swapsDuring;
    std::string lineMac;  // the start of every line controller's MAC; empty: the default
    std::vector<std::string> identityOptions;  // given options that set one controller's identity
};

bool parseArgs(int argc, char** argv, Options& o, kv::sim::VirtualController& c) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--com") o.com = std::stoi(value());
        else if (a == "--delay") c.modes.replyDelayMs = std::stoi(value());
        else if (a == "--chunk") {
            std::string m = value();
            if (m == "whole") c.modes.chunking.kind = kv::sim::Chunking::Whole;
            else if (m == "byte") c.modes.chunking.kind = kv::sim::Chunking::ByteByByte;
            else {
                c.modes.chunking.kind = kv::sim::Chunking::SplitAt;
                c.modes.chunking.position = static_cast<std::size_t>(std::stoul(m));
            }
        } else if (a == "--silent") c.modes.silent = true;
        else if (a == "--double") c.modes.doubleReply = true;
        else if (a == "--answer-on") c.modes.answerOnRepeat = std::stoi(value());
        else if (a == "--restart-ms") c.modes.restartMs = std::stoi(value());
        else if (a == "--lose-ack") c.modes.loseAckForFrame = wholeNumber(value(), 0, 1000, a);
        else if (a == "--store-only-in-service") c.modes.storeOnlyInServiceMode = true;
        else if (a == "--no-store-client") c.modes.storeClient = false;
        else if (a == "--short-read") c.modes.shortRead = wholeNumber(value(), 1, kv::link::kKV53.params, a);
        else if (a == "--line") o.line = wholeNumber(value(), 1, kv::sim::ProductionLine::kMaxCount, a);
        else if (a == "--auto-swap") o.autoSwap = true;
        else if (a == "--swap-during") o.swapsDuring.push_back(swapDuring(value()));
        else if (a == "--param") {
            if (!setParam(value(), c.state.params))
                throw std::runtime_error(std::string("--param needs ") + kParamForm);
        } else if (a == "--values") readValues(value(), c.state.params);
        else if (a == "--fw") c.state.fwText = value();
        else if (a == "--short-fw") c.state.shortFirmware = true;
        else if (a == "--fw-version") {
            auto v = triple(value(), '.', "--fw-version needs A.B.C");
            for (std::size_t i = 0; i < 3; ++i) c.state.fwNumbers[i] = static_cast<std::uint8_t>(v[i]);
        } else if (a == "--config") {
            std::string hex = value();
            if (hex.size() % 2 != 0) throw std::runtime_error("--config needs pairs of hex digits");
            if (hex.size() > 2 * 255) throw std::runtime_error("--config takes at most 255 bytes: a reply's payload");
            c.state.config.clear();
            for (std::size_t i = 0; i < hex.size(); i += 2)
                c.state.config.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else if (a == "--outputs") {
            std::string bits = value();
            if (bits.size() != 4) throw std::runtime_error("--outputs needs four 0/1 digits");
            for (std::size_t i = 0; i < 4; ++i) c.state.outputs[i] = bits[i] == '1';
        }
        else if (a == "--checksum") {
            c.state.checksum = static_cast<std::uint16_t>(std::stoul(value(), nullptr, 16));
            o.identityOptions.push_back(a);
        } else if (a == "--mac") {
            c.state.mac = value();
            o.identityOptions.push_back(a);
        } else if (a == "--line-mac") {
            o.lineMac = value();
            if (o.lineMac.size() != 10 ||
                o.lineMac.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
                throw std::runtime_error("--line-mac takes ten hex digits");
        } else if (a == "--client") {
            c.state.client = value();
            o.identityOptions.push_back(a);
        } else if (a == "--asset") {
            c.state.asset = value();
            o.identityOptions.push_back(a);
        }
        else if (a == "--temps") {
            auto v = triple(value(), ',', "--temps needs A,B,C");
            for (std::size_t i = 0; i < 3; ++i) c.state.temperatures[i] = static_cast<std::uint16_t>(v[i]);
        } else if (a == "--door-open") c.state.doorOpen = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(withCount(kUsage).c_str(), stdout);
            std::exit(0);
        } else throw std::runtime_error("unknown option " + a);
    }
    if (!o.lineMac.empty()) {
        if (o.line == 0) throw std::runtime_error("--line-mac needs --line");
        c.state.mac = o.lineMac + "00";
    }
    if (o.line > 0 && !o.identityOptions.empty())
        throw std::runtime_error(o.identityOptions.front() +
                                 " sets a single controller; each controller on a --line has its own MAC, checksum, "
                                 "asset and client");
    if (o.autoSwap && o.line == 0) throw std::runtime_error("--auto-swap needs --line");
    for (const auto& s : o.swapsDuring) {
        if (o.line == 0) throw std::runtime_error("--swap-during needs --line");
        if (s.controller >= o.line)
            throw std::runtime_error("--swap-during " + std::to_string(s.controller) + ":" +
                                     kv::sim::swapPointName(s.point) + ": a --line of " + std::to_string(o.line) +
                                     " has no controller after " + std::to_string(s.controller));
    }
    // The asset reply carries the asset and two zero bytes.
    if (c.state.asset.size() > kv::sim::kMaxAssetLength)
        throw std::runtime_error("--asset takes at most " + std::to_string(kv::sim::kMaxAssetLength) +
                                 " characters: with its two closing zero bytes it must fit a reply's 255-byte payload");
    if (c.state.fwText.size() < 3) c.state.fwText.resize(3, ' ');
    if (c.state.client.size() < 3) c.state.client.resize(3, ' ');
    if (c.state.mac.size() < 12) c.state.mac.resize(12, '0');
    return o.com >= 1 && o.com <= 32;
}

// What every controller served so far holds, indented under a note.
void printSummary(const kv::sim::ProductionLine& line) {
    const std::string text = line.summary();
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::printf("   %s\n", text.substr(at, end - at).c_str());
        at = end + 1;
    }
}

void announce(const kv::sim::ProductionLine& line) {
    std::printf("kv5x-sim: controller %d of %d on the line\n", line.current(), line.count());
    printSummary(line);
    std::fflush(stdout);
}

// Standard input, read for Enter while serving a line: a terminal or a pipe.
// Anything else (a file, /dev/null) is left alone.
bool stdinWatchable() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) return false;
    return isatty(STDIN_FILENO) || S_ISFIFO(st.st_mode);
}

// The controlling terminal is read only while the simulator is in its
// foreground: a read from the background would stop the process (SIGTTIN).
// Another terminal, or a pipe, has no foreground to wait for.
bool stdinReadableNow() {
    if (!isatty(STDIN_FILENO)) return true;
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground < 0 || foreground == getpgrp();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(kv::platform::kAppTitle);
    kv::sim::VirtualController controller;
    Options options;
    try {
        if (!parseArgs(argc, argv, options, controller)) {
            std::fprintf(stderr, "kv5x-sim: the port number must be 1 to 32\n");
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kv5x-sim: %s\n%s", e.what(), withCount(kUsage).c_str());
        return 2;
    }
    const int com = options.com;
    const bool quiet = options.quiet;
    // The line's controllers share what the options set beyond identity.
    std::unique_ptr<kv::sim::ProductionLine> productionLine;
    if (options.line > 0) {
        // The parameter values given are the line's factory state.
        productionLine = std::make_unique<kv::sim::ProductionLine>(controller, options.line, controller.state,
                                                                   controller.state.params);
        productionLine->autoSwap = options.autoSwap;
        productionLine->swapsDuring = options.swapsDuring;
    }

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("kv5x-sim: pseudo-terminal");
        return 1;
    }
    std::string device = ptsname(master);
    // Keep the terminal's side open and raw: no echo, no line editing, and
    // reads on our side never fail while the dashboard has it closed.
    int slave = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        std::perror("kv5x-sim: terminal");
        return 1;
    }
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    QString folder = kv::ports::PortMap::portsFolder();
    QDir().mkpath(folder);
    QString link = folder + QString("/COM%1").arg(com);
    QFile::remove(link);
    if (!QFile::link(QString::fromStdString(device), link)) {
        std::fprintf(stderr, "kv5x-sim: cannot create %s\n", qPrintable(link));
        return 1;
    }
    std::printf("kv5x-sim: virtual KV53 on %s, linked as COM%d (%s)\n", device.c_str(), com, qPrintable(link));
    bool watchStdin = false;
    int announced = 0;
    if (productionLine) {
        watchStdin = stdinWatchable();
        std::printf("kv5x-sim: a production line of %d controllers%s; %s\n", productionLine->count(),
                    options.autoSwap ? ", each swapped for the next once identified after its restart" : "",
                    watchStdin ? "Enter swaps in the next one"
                               : "standard input is neither a terminal nor a pipe: Enter cannot swap them");
        announce(*productionLine);
        announced = productionLine->current();
    }
    std::fflush(stdout);

    signal(SIGINT, onSignal);
    signal(SIGTERM, onSignal);
    signal(SIGHUP, onSignal);

    std::multimap<std::int64_t, kv::sim::Bytes> outbox;
    std::size_t printed = 0;
    // A pseudo-terminal carries the baud rate and stop bits the dashboard
    // sets; it keeps 8 data bits without parity whatever is asked.
    std::string line;
    while (!stopRequested) {
        if (std::string now = lineSettings(master); now != line) {
            line = now;
            if (!quiet) {
                std::printf("   line settings: %s\n", line.c_str());
                std::fflush(stdout);
            }
        }
        int timeout = 200;
        if (!outbox.empty()) timeout = static_cast<int>(std::max<std::int64_t>(0, outbox.begin()->first - nowMs()));
        pollfd p[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const nfds_t watched = watchStdin && stdinReadableNow() ? 2 : 1;
        int ready = ::poll(p, watched, timeout);
        if (ready > 0 && (p[0].revents & POLLIN)) {
            std::uint8_t buf[4096];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                std::int64_t t = nowMs();
                for (auto& piece : controller.receive(kv::sim::Bytes(buf, buf + n), t))
                    outbox.emplace(t + piece.delayMs, std::move(piece.bytes));
            }
        }
        for (; printed < controller.exchanges.size(); ++printed) {
            if (quiet) continue;
            const auto& x = controller.exchanges[printed];
            std::printf("<-%s\n", kv::sim::hexText(x.request).c_str());
            if (x.reply) std::printf("->%s\n", kv::sim::hexText(*x.reply).c_str());
            else std::printf("   (no answer)\n");
            if (x.paramsAfter) printParamWrite(controller, x);
            if (x.request[0] == kv::link::cmdServiceMode && x.reply) {
                if (x.request.size() > 3 && x.request[3] == 0x01) std::printf("   service mode entered\n");
                else std::printf("   service mode left: restarting, deaf for %d ms\n", controller.modes.restartMs);
            }
            std::fflush(stdout);
        }
        // Swapped by itself after an identification or during its provisioning.
        if (productionLine && productionLine->current() != announced) {
            if (const auto& s = productionLine->lastSwapDuring())
                std::printf("kv5x-sim: controller %d swapped for the next one during its provisioning (%d:%s)\n",
                            s->controller, s->controller, kv::sim::swapPointName(s->point));
            announce(*productionLine);
            announced = productionLine->current();
        }
        if (ready > 0 && watched == 2 && p[1].revents) {
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            // A pipe's end is final; a terminal's end of input (Ctrl-D) is
            // not, but a hang-up or an error is. Either way nothing more
            // comes: stop watching rather than poll a closed input forever.
            const bool ended = n < 0 ? errno != EINTR && errno != EAGAIN
                                     : n == 0 && (!isatty(STDIN_FILENO) || (p[1].revents & (POLLHUP | POLLERR)));
            if (ended) {
                watchStdin = false;
                std::printf("kv5x-sim: standard input closed: Enter no longer swaps controllers\n");
                std::fflush(stdout);
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\n') continue;
                if (productionLine->next()) {
                    announce(*productionLine);
                    announced = productionLine->current();
                } else {
                    std::printf("kv5x-sim: controller %d of %d is the last on the line\n", productionLine->current(),
                                productionLine->count());
                    std::fflush(stdout);
                }
            }
        }
        std::int64_t t = nowMs();
        while (!outbox.empty() && outbox.begin()->first <= t) {
            const auto& bytes = outbox.begin()->second;
            if (::write(master, bytes.data(), bytes.size()) < 0) std::perror("kv5x-sim: write");
            outbox.erase(outbox.begin());
        }
    }
    // Another simulator may have taken the port over meanwhile: its link stays.
    if (QFile::symLinkTarget(link) == QString::fromStdString(device)) QFile::remove(link);
    if (productionLine) {
        std::printf("kv5x-sim: controllers served (%d of %d):\n", productionLine->current(), productionLine->count());
        printSummary(*productionLine);
    }
    std::printf("kv5x-sim: stopped\n");
    return 0;
}
