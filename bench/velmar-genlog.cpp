// Writes a synthetic mailer log for the benchmarks: dialing and incoming calls, sessions with an address,
// received files with their progress, resumed, partial and rejected files, and the four ways a session
// ends, in one of several shapes (line ends, line lengths, lines per session, addresses, files per session).
// The same shape, count and seed give the same bytes with every compiler and library:
// the random numbers are the raw outputs of std::mt19937_64 (fixed by the language), mapped to ranges here
// by integer arithmetic only, since the standard distributions and the floating-point functions may give
// other values elsewhere.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char kUsage[]
    = "usage: velmar-genlog --sessions N [--shape NAME] [--seed S] [--addresses K] [--out FILE]\n"
      "Writes a synthetic mailer log of N sessions (default 1000) to FILE (default standard output).\n"
      "  --shape NAME    classic (default): CR LF, short lines, about 10 lines a session, 300 addresses\n"
      "                  lf: LF line ends, 400 addresses, otherwise classic\n"
      "                  banner: LF, long banner lines and progress lines of a few hundred bytes,\n"
      "                          about 25 lines a session, 400 addresses\n"
      "                  hub: CR LF, short lines, 5 to 40 received files and about 80 lines a session,\n"
      "                       5000 addresses\n"
      "  --seed S        seed of the random numbers (default 1); the same shape, N and S give the same log\n"
      "  --addresses K   distinct remote addresses (default: that of the shape)\n"
      "Sessions start on 1 January 2000 and spread evenly up to the end of 2026 (about one session per\n"
      "2,100 seconds at 400,000 sessions); larger counts run on beyond 2026 when the calls leave no room.\n"
      "400,000 sessions give about 250 MB. A summary goes to standard error.\n";

// The random numbers: raw std::mt19937_64 outputs mapped to ranges by the high half of a 128-bit product.
class Dice {
public:
    explicit Dice(uint64_t seed)
        : engine_(seed)
    {
    }

    /// 0 to n - 1; n must be positive.
    uint64_t below(uint64_t n) { return static_cast<uint64_t>((static_cast<unsigned __int128>(engine_()) * n) >> 64); }
    /// lo to hi, both included.
    uint64_t between(uint64_t lo, uint64_t hi) { return lo + below(hi - lo + 1); }
    /// True with the chance perMille / 1000.
    bool chance(unsigned perMille) { return below(1000) < perMille; }
    /// An index into a table of weights, chosen with the chance of its weight.
    template <size_t N> size_t weighted(const std::array<unsigned, N>& weights)
    {
        unsigned total = 0;
        for (unsigned w : weights)
            total += w;
        uint64_t pick = below(total);
        for (size_t i = 0; i < N; ++i) {
            if (pick < weights[i])
                return i;
            pick -= weights[i];
        }
        return N - 1;
    }

private:
    std::mt19937_64 engine_;
};

// How a log looks: what sets real logs apart when they are read.
struct Shape {
    std::string_view name;
    std::string_view lineEnd;
    uint64_t addresses;
    bool longLines; // banner lines and progress bars of a few hundred bytes, several progress lines a file
    bool manyFiles; // 5 to 40 received files a session
};

constexpr std::array<Shape, 4> kShapes = { {
    { "classic", "\r\n", 300, false, false },
    { "lf", "\n", 400, false, false },
    { "banner", "\n", 400, true, false },
    { "hub", "\r\n", 5000, false, true },
} };

constexpr std::array<std::string_view, 12> kMonthWords
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sen", "Okt", "Nob", "Dec" };

// The civil date of a day counted from 1 January 1970 (proleptic Gregorian calendar).
void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

void appendNumber(std::string& out, uint64_t value)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        out += digits[--n];
}

// A byte count as the mailer writes it: "," between groups of three digits.
void appendGrouped(std::string& out, uint64_t value)
{
    char digits[32];
    int n = 0;
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            digits[n++] = ',';
            inGroup = 0;
        }
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
        ++inGroup;
    } while (value != 0);
    while (n > 0)
        out += digits[--n];
}

void appendTwoDigits(std::string& out, unsigned value)
{
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// Collects the lines in a large buffer and writes it out in big pieces.
class LogWriter {
public:
    LogWriter(std::FILE* file, std::string_view lineEnd)
        : file_(file)
        , lineEnd_(lineEnd)
    {
        buffer_.reserve(kFlushAt + 4096);
    }

    /// Begins a line: the two marks, the date text and the time text of the moment t (seconds since
    /// 1 January 2000, 00:00:00) and a space; the message follows through text(), the line ends with end().
    LogWriter& begin(std::string_view marks, int64_t t)
    {
        const int64_t day = t / 86400;
        if (day != cachedDay_) {
            int64_t y = 0;
            unsigned m = 0, d = 0;
            civilFromDays(day + kDaysTo2000, y, m, d);
            dateText_.clear();
            appendTwoDigits(dateText_, d);
            dateText_ += '-';
            dateText_ += kMonthWords[m - 1];
            dateText_ += '-';
            appendNumber(dateText_, static_cast<uint64_t>(y));
            cachedDay_ = day;
        }
        const unsigned secondOfDay = static_cast<unsigned>(t % 86400);
        buffer_ += marks;
        buffer_ += dateText_;
        buffer_ += ' ';
        appendTwoDigits(buffer_, secondOfDay / 3600);
        buffer_ += ':';
        appendTwoDigits(buffer_, secondOfDay / 60 % 60);
        buffer_ += ':';
        appendTwoDigits(buffer_, secondOfDay % 60);
        buffer_ += ' ';
        return *this;
    }
    LogWriter& text(std::string_view s)
    {
        buffer_ += s;
        return *this;
    }
    LogWriter& number(uint64_t value)
    {
        appendNumber(buffer_, value);
        return *this;
    }
    LogWriter& grouped(uint64_t value)
    {
        appendGrouped(buffer_, value);
        return *this;
    }
    void end()
    {
        buffer_ += lineEnd_;
        ++lines_;
        if (buffer_.size() >= kFlushAt)
            flush();
    }

    /// Writes out what is buffered; false when the file refused it.
    bool flush()
    {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
            failed_ = true;
        bytes_ += buffer_.size();
        buffer_.clear();
        return !failed_;
    }

    bool failed() const { return failed_; }
    uint64_t bytes() const { return bytes_ + buffer_.size(); }
    uint64_t lines() const { return lines_; }

private:
    static constexpr size_t kFlushAt = size_t { 1 } << 20;
    static constexpr int64_t kDaysTo2000 = 10957; // 1 January 1970 to 1 January 2000

    std::FILE* file_;
    std::string_view lineEnd_;
    std::string buffer_;
    std::string dateText_;
    int64_t cachedDay_ = -1;
    uint64_t bytes_ = 0;
    uint64_t lines_ = 0;
    bool failed_ = false;
};

struct Node {
    std::string address;
    std::string phone;
    std::string station;
    std::string sysop;
    std::string place;
};

constexpr std::array<unsigned, 10> kNets = { 5020, 5030, 5040, 5080, 461, 450, 5012, 5015, 5054, 4624 };
constexpr std::array<std::string_view, 16> kFirstNames = { "Ivan", "Sergey", "Anna", "Dmitry", "Andrey", "Oleg",
    "Pavel", "Igor", "Nikolai", "Yuri", "Viktor", "Mikhail", "Boris", "Elena", "Olga", "Alexei" };
constexpr std::array<std::string_view, 16> kLastNames = { "Petrov", "Ivanov", "Sidorov", "Smirnov", "Kuznetsov",
    "Popov", "Sokolov", "Lebedev", "Kozlov", "Novikov", "Morozov", "Volkov", "Orlov", "Belov", "Zaitsev", "Frolov" };
constexpr std::array<std::string_view, 12> kStationWords
    = { "Polar", "Grey", "Night", "Amber", "Steppe", "Birch", "Copper", "Volga", "Ural", "River", "Northern", "Quiet" };
constexpr std::array<std::string_view, 12> kStationNouns = { "Bear", "Heron", "Owl", "Coast", "Wind", "Grove",
    "Mountain", "Lights", "Pines", "Bridge", "Harbour", "Meadow" };
constexpr std::array<std::string_view, 4> kStationKinds = { "Station", "Node", "Relay", "Point" };
constexpr std::array<std::string_view, 12> kPlaces = { "Moscow", "Saint Petersburg", "Novosibirsk", "Kaliningrad",
    "Kyiv", "Minsk", "Yekaterinburg", "Samara", "Chelyabinsk", "Omsk", "Kazan", "Tver" };

template <size_t N> std::string_view pick(Dice& dice, const std::array<std::string_view, N>& words)
{
    return words[dice.below(N)];
}

std::vector<Node> makeNodes(Dice& dice, size_t count)
{
    std::vector<Node> nodes;
    std::set<std::string> seen;
    while (nodes.size() < count) {
        Node node;
        const unsigned zone = dice.chance(920) ? 2 : static_cast<unsigned>(dice.between(1, 5));
        const unsigned net
            = dice.chance(700) ? kNets[dice.below(kNets.size())] : static_cast<unsigned>(dice.between(100, 6099));
        appendNumber(node.address, zone);
        node.address += ':';
        appendNumber(node.address, net);
        node.address += '/';
        appendNumber(node.address, dice.between(1, 9999));
        if (dice.chance(150)) {
            node.address += '.';
            appendNumber(node.address, dice.between(1, 99));
        }
        if (dice.chance(600))
            node.address += "@fidonet";
        if (!seen.insert(node.address).second)
            continue;
        node.phone = "+7-";
        appendNumber(node.phone, dice.between(100, 999));
        node.phone += '-';
        appendNumber(node.phone, dice.between(1000000, 9999999));
        // One draw per statement: the operands of + may be evaluated in either order.
        node.station = pick(dice, kStationWords);
        node.station += ' ';
        node.station += pick(dice, kStationNouns);
        node.station += ' ';
        node.station += pick(dice, kStationKinds);
        node.sysop = pick(dice, kFirstNames);
        node.sysop += ' ';
        node.sysop += pick(dice, kLastNames);
        node.place = pick(dice, kPlaces);
        nodes.push_back(std::move(node));
    }
    return nodes;
}

struct Speed {
    std::string_view connect; // the "CONNECT" message
    unsigned cps; // characters per second a file moves at
};

constexpr std::array<Speed, 11> kSpeeds = { {
    { "CONNECT 33600", 3300 },
    { "CONNECT 31200", 3050 },
    { "CONNECT 28800", 2800 },
    { "CONNECT 26400", 2550 },
    { "CONNECT 24000", 2300 },
    { "CONNECT 19200", 1850 },
    { "CONNECT 14400", 1400 },
    { "CONNECT 9600", 930 },
    { "CONNECT 2400", 235 },
    { "CONNECT 44000", 4100 },
    { "CONNECT 48000", 4500 },
} };
constexpr std::array<unsigned, kSpeeds.size()> kSpeedWeights = { 30, 18, 16, 8, 5, 4, 3, 2, 1, 6, 7 };

// How many files the remote sends: zero to six.
constexpr std::array<unsigned, 7> kFileCountWeights = { 38, 22, 14, 10, 7, 5, 4 };

enum class Ending { Completed, CarrierLoss, Aborted, ModemReset };
constexpr std::array<unsigned, 4> kEndingWeights = { 830, 90, 50, 30 };

struct Totals {
    uint64_t sessions = 0;
    uint64_t counted = 0;
    uint64_t received = 0; // the bytes the counted sessions received
};

void appendHex(std::string& out, uint64_t bits, int digits)
{
    static constexpr char kHex[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kHex[(bits >> shift) & 15];
}

// The names of the files that travel: mail packets, bundles, lists and file echoes.
void appendInboundName(std::string& name, Dice& dice)
{
    static constexpr std::array<std::string_view, 7> kDays = { "su", "mo", "tu", "we", "th", "fr", "sa" };
    switch (dice.below(6)) {
    case 0:
    case 1:
        appendHex(name, dice.below(uint64_t { 1 } << 32), 8);
        name += ".pkt";
        break;
    case 2:
    case 3:
        appendHex(name, dice.below(uint64_t { 1 } << 32), 8);
        name += '.';
        name += kDays[dice.below(kDays.size())];
        appendNumber(name, dice.below(10));
        break;
    case 4:
        name += "nodediff.a";
        appendTwoDigits(name, static_cast<unsigned>(dice.between(1, 52)));
        break;
    default:
        name += "seg";
        appendNumber(name, dice.between(100, 999));
        name += ".zip";
        break;
    }
}

// A file size spread over the orders of magnitude, from a few hundred bytes to about five megabytes.
uint64_t fileSize(Dice& dice)
{
    if (dice.chance(40))
        return dice.between(1000000, 5200000);
    const uint64_t base = uint64_t { 128 } << dice.below(13);
    return base + dice.below(base);
}

class Generator {
public:
    Generator(LogWriter& out, Dice& dice, const Shape& shape, std::vector<Node> nodes, uint64_t sessions)
        : out_(out)
        , dice_(dice)
        , shape_(shape)
        , nodes_(std::move(nodes))
    {
        // 1 January 2000 to 1 January 2027.
        constexpr int64_t kSpan = 9862LL * 86400;
        spacing_ = std::max<int64_t>(1, kSpan / static_cast<int64_t>(std::max<uint64_t>(sessions, 1)));
        now_ = static_cast<int64_t>(dice_.below(static_cast<uint64_t>(std::min<int64_t>(spacing_, 3600))));
        out_.begin("  ", now_).text("Mailer started, log opened").end();
        step(3, 8);
        out_.begin("- ", now_).text("Initializing modem").end();
    }

    void session(uint64_t index)
    {
        // Calls are spread evenly over the years, unless the calls themselves leave no room.
        const int64_t planned = static_cast<int64_t>(index) * spacing_
            + static_cast<int64_t>(dice_.below(static_cast<uint64_t>(spacing_ / 2 + 1)));
        now_ = std::max(now_ + static_cast<int64_t>(dice_.between(5, 90)), planned);

        const Node& node = pickNode();
        if (dice_.chance(550))
            dial(node);
        else
            out_.begin("  ", now_).text("RING").end();
        step(8, 30);

        const Speed& speed = kSpeeds[dice_.weighted(kSpeedWeights)];
        out_.begin("+ ", now_).text(speed.connect).end();
        step(1, 2);
        if (dice_.chance(300)) {
            out_.begin("  ", now_).text("  Handshake: EMSI").end();
            step(1, 2);
        }
        // Some systems write their address as the last word of its line.
        if (!dice_.chance(8)) {
            out_.begin("  ", now_).text("Address : ").text(node.address);
            if (dice_.chance(400))
                out_.text(" (").text(node.station).text(")");
            out_.end();
        }
        if (dice_.chance(150))
            out_.begin("  ", now_).text("  System: ").text(node.station).end();
        if (dice_.chance(150))
            out_.begin("  ", now_).text("  Sysop: ").text(node.sysop).end();
        if (dice_.chance(100))
            out_.begin("  ", now_).text("  Location: ").text(node.place).end();
        if (dice_.chance(100))
            out_.begin("  ", now_).text("  Password protected session").end();
        if (shape_.longLines)
            banner(node);
        step(0, 2);

        const Ending ending = static_cast<Ending>(dice_.weighted(kEndingWeights));
        const size_t files
            = shape_.manyFiles ? static_cast<size_t>(dice_.between(5, 40)) : dice_.weighted(kFileCountWeights);
        int64_t received = 0;
        for (size_t f = 0; f < files; ++f)
            received += receive(speed, ending == Ending::CarrierLoss && f + 1 == files);
        if (ending != Ending::CarrierLoss && dice_.chance(200))
            send(speed);

        step(1, 4);
        switch (ending) {
        case Ending::Completed:
            out_.begin("+ ", now_).text("Session completed successfully").end();
            break;
        case Ending::CarrierLoss:
            out_.begin("! ", now_).text("Aborting due to carrier loss").end();
            break;
        case Ending::Aborted:
            out_.begin("- ", now_).text("Session aborted").end();
            break;
        case Ending::ModemReset:
            // The mailer lost the session and reset the modem: the session has no end of its own.
            out_.begin("- ", now_).text("Initializing modem").end();
            break;
        }
        step(1, 3);
        if (ending != Ending::ModemReset) {
            if (dice_.chance(600))
                out_.begin("  ", now_).text("  Hanging up").end();
            step(3, 8);
            out_.begin("- ", now_).text("Initializing modem").end();
        }
        step(1, 2);
        if (dice_.chance(150))
            out_.begin("  ", now_).text("Waiting for calls").end();

        ++totals_.sessions;
        if (ending == Ending::Completed || ending == Ending::CarrierLoss) {
            ++totals_.counted;
            totals_.received += static_cast<uint64_t>(received);
        }
    }

    void finish()
    {
        step(30, 90);
        out_.begin("  ", now_).text("Mailer stopped, log closed").end();
    }

    const Totals& totals() const { return totals_; }

private:
    void step(uint64_t lo, uint64_t hi) { now_ += static_cast<int64_t>(dice_.between(lo, hi)); }

    // The uplink is polled most; the other nodes are called less the further down the list they stand.
    const Node& pickNode()
    {
        if (dice_.chance(150))
            return nodes_.front();
        return nodes_[dice_.below(dice_.below(nodes_.size()) + 1)];
    }

    // What a mailer with a long banner tells of the remote system: two to four lines of 150 to 350 bytes.
    void banner(const Node& node)
    {
        static constexpr std::array<std::string_view, 14> kFlags
            = { "ZAP", "ZMO", "NRQ", "ARC", "XMA", "HFR", "FNC", "PUA", "8N1", "V.42bis", "V.34", "HYD", "DZA", "TZA" };
        const uint64_t lines = dice_.between(2, 4);
        for (uint64_t l = 0; l < lines; ++l) {
            const uint64_t length = dice_.between(150, 350);
            line_ = "  EMSI_DAT: {";
            line_ += node.station;
            line_ += "}{";
            line_ += node.sysop;
            line_ += "}{";
            line_ += node.place;
            line_ += "}{";
            while (line_.size() < length) {
                line_ += kFlags[dice_.below(kFlags.size())];
                line_ += ',';
            }
            line_ += '}';
            out_.begin("  ", now_).text(line_).end();
        }
    }

    // A progress line with a bar of 150 to 350 characters.
    void progressBar(uint64_t done, uint64_t size, uint64_t cps)
    {
        const uint64_t width = dice_.between(150, 350);
        const uint64_t filled = size == 0 ? width : done * width / size;
        line_ = "  [";
        line_.append(filled, '=');
        line_ += '>';
        line_.append(width - filled, ' ');
        line_ += "] ";
        out_.begin("  ", now_).text(line_).grouped(done).text(" bytes, ").number(cps).text(" cps").end();
    }

    void dial(const Node& node)
    {
        // Now and then the line is busy or nobody answers first.
        static constexpr std::array<std::string_view, 3> kFailures = { "BUSY", "NO CARRIER", "NO ANSWER" };
        while (dice_.chance(120)) {
            out_.begin("  ", now_).text("Dialing ").text(node.address).text(" (").text(node.phone).text(")").end();
            step(10, 45);
            out_.begin("- ", now_).text(kFailures[dice_.below(kFailures.size())]).end();
            step(30, 180);
        }
        out_.begin("  ", now_).text("Dialing ").text(node.address).text(" (").text(node.phone).text(")").end();
    }

    void send(const Speed& speed)
    {
        name_.clear();
        appendHex(name_, dice_.below(uint64_t { 1 } << 32), 8);
        name_ += ".out";
        const uint64_t size = dice_.between(300, 60000);
        out_.begin("  ", now_).text("Sending '").text(name_).text("' (").grouped(size).text("b)").end();
        step(1 + size / speed.cps, 2 + size / speed.cps);
        out_.begin("  ", now_).text("  '").text(name_).text("' sent, ").number(speed.cps).text(" cps").end();
    }

    // Writes the lines of one received file and returns the bytes it adds to the session.
    int64_t receive(const Speed& speed, bool cutOff)
    {
        name_.clear();
        appendInboundName(name_, dice_);
        const uint64_t size = fileSize(dice_);
        step(1, 3);
        out_.begin("  ", now_).text("Receiving '").text(name_).text("' (").grouped(size).text("b)").end();

        if (!cutOff && dice_.chance(20)) {
            step(0, 1);
            out_.begin("  ", now_).text("  File ").text(name_).text(" already exists").end();
            out_.begin("  ", now_).text("Receiving file was rejected").end();
            return 0;
        }
        uint64_t offset = 0;
        if (size >= 2048 && dice_.chance(40)) {
            offset = (1 + dice_.below(size / 1024 - 1)) * 1024;
            step(0, 1);
            out_.begin("  ", now_).text("  Resuming from offset ").grouped(offset).end();
        }
        const uint64_t cps = speed.cps - dice_.below(speed.cps / 5 + 1);
        const uint64_t arrived = cutOff ? offset + dice_.below(size - offset) : size;
        const unsigned steps
            = shape_.longLines ? static_cast<unsigned>(dice_.between(3, 12)) : (dice_.chance(300) ? 2 : 1);
        for (unsigned s = 1; s <= steps; ++s) {
            const uint64_t done = offset + (arrived - offset) * s / steps;
            now_ += static_cast<int64_t>((arrived - offset) / steps / cps + 1);
            if (shape_.longLines)
                progressBar(done, size, cps);
            else
                out_.begin("  ", now_).text("  ").grouped(done).text(" bytes, ").number(cps).text(" cps").end();
        }
        if (cutOff) {
            if (dice_.chance(600)) {
                out_.begin("  ", now_)
                    .text("Part of '")
                    .text(name_)
                    .text("' (")
                    .grouped(arrived)
                    .text("b) received")
                    .end();
                return static_cast<int64_t>(arrived);
            }
            // A file cut off without a "Part of" line counts with its announced size, less the resume.
            return static_cast<int64_t>(size - offset);
        }
        step(0, 1);
        out_.begin("  ", now_).text("  '").text(name_).text("' received, CRC OK").end();
        return static_cast<int64_t>(size - offset);
    }

    LogWriter& out_;
    Dice& dice_;
    const Shape& shape_;
    std::vector<Node> nodes_;
    int64_t spacing_ = 1;
    int64_t now_ = 0;
    std::string name_;
    std::string line_;
    Totals totals_;
};

bool readCount(const char* text, uint64_t& value)
{
    if (*text < '0' || *text > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0';
}

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "velmar-genlog: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t sessions = 1000;
    uint64_t seed = 1;
    uint64_t addresses = 0; // that of the shape
    const Shape* shape = &kShapes[0];
    std::string outPath;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc)
            return usageError("missing value after " + std::string(arg));
        const char* value = argv[++i];
        if (arg == "--sessions") {
            if (!readCount(value, sessions))
                return usageError("not a count: " + std::string(value));
        } else if (arg == "--seed") {
            if (!readCount(value, seed))
                return usageError("not a seed: " + std::string(value));
        } else if (arg == "--addresses") {
            if (!readCount(value, addresses) || addresses == 0 || addresses > 100000)
                return usageError("the addresses must be 1 to 100000: " + std::string(value));
        } else if (arg == "--shape") {
            const auto* found = std::find_if(
                kShapes.begin(), kShapes.end(), [&](const Shape& candidate) { return candidate.name == value; });
            if (found == kShapes.end())
                return usageError("unknown shape " + std::string(value));
            shape = found;
        } else if (arg == "--out") {
            outPath = value;
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }

    std::FILE* file = outPath.empty() ? stdout : std::fopen(outPath.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "velmar-genlog: cannot create %s: %s\n", outPath.c_str(), std::strerror(errno));
        return 1;
    }

    Dice dice(seed);
    if (addresses == 0)
        addresses = shape->addresses;
    LogWriter out(file, shape->lineEnd);
    Generator generator(out, dice, *shape, makeNodes(dice, static_cast<size_t>(addresses)), sessions);
    for (uint64_t s = 0; s < sessions && !out.failed(); ++s)
        generator.session(s);
    generator.finish();

    bool ok = out.flush();
    if (file != stdout)
        ok = std::fclose(file) == 0 && ok;
    else
        ok = std::fflush(stdout) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "velmar-genlog: writing %s failed: %s\n",
            outPath.empty() ? "standard output" : outPath.c_str(), std::strerror(errno));
        return 1;
    }

    const Totals& totals = generator.totals();
    std::fprintf(stderr,
        "velmar-genlog: %llu sessions, %llu counted, %llu bytes received in the counted sessions; "
        "%llu lines, %llu bytes written\n",
        static_cast<unsigned long long>(totals.sessions), static_cast<unsigned long long>(totals.counted),
        static_cast<unsigned long long>(totals.received), static_cast<unsigned long long>(out.lines()),
        static_cast<unsigned long long>(out.bytes()));
    return 0;
}
