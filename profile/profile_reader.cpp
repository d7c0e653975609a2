#include "profile/profile_reader.h"

#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <toml++/toml.h>
#include <vector>

namespace adc {

namespace {

constexpr std::size_t kMaxNameLength = 32;
constexpr std::size_t kMaxUnitLength = 16;
constexpr int kMaxDecimals = 9;
// Far more than any rig needs; a device or a wrong file given by mistake stops here.
constexpr std::size_t kMaxFileSize = 1024 * 1024;

constexpr std::string_view kChannelKeys[] = {"name", "unit",   "decimals", "raw",   "value",
                                             "gain", "offset", "table",    "limits"};
// More files than any folder of recordings should hold.
constexpr std::int64_t kMostKept = 100000;
constexpr std::string_view kGlobalKeys[] = {"port",    "reconnect", "record",
                                            "capture", "rotate",    "keep"};

// Thrown to leave the reading at the first mistake; parseProfile turns it into the message.
struct Mistake
{
    std::string text;
};

// The shortest text that reads back as `value`, as a person would write it.
std::string number(double value)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

std::size_t characters(std::string_view utf8)
{
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; });
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Edits that turn a into b (insert, delete, change a character), for "did you mean".
std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (std::tolower(static_cast<unsigned char>(a[i - 1])) !=
                                           std::tolower(static_cast<unsigned char>(b[j - 1])))});
            diagonal = above;
        }
    }
    return row[b.size()];
}

template <std::size_t N>
std::string suggestion(std::string_view key, const std::string_view (&known)[N])
{
    for (std::string_view candidate : known)
        if (editDistance(key, candidate) <= 2)
            return " (did you mean " + quoted(candidate) + "?)";
    return {};
}

std::string kindOf(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "a list";
    case toml::node_type::string:
        return "a text";
    case toml::node_type::integer:
        return "a whole number";
    case toml::node_type::floating_point:
        return "a number";
    case toml::node_type::boolean:
        return "true or false";
    default:
        return "a date or time";
    }
}

// Where the first byte that is not UTF-8 lies, as line and column; none when all of it is.
std::optional<std::pair<std::size_t, std::size_t>> firstNonUtf8(std::string_view text)
{
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        std::uint32_t code = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0x80) {
            return std::pair(line, column);
        }
        if (lead >= 0xF5 || i + length > text.size())
            return std::pair(line, column);
        for (std::size_t j = 1; j < length; ++j) {
            const auto next = static_cast<unsigned char>(text[i + j]);
            if ((next & 0xC0) != 0x80)
                return std::pair(line, column);
            code = code << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and what lies beyond Unicode are not UTF-8 either.
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return std::pair(line, column);
        if (lead == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        i += length;
    }
    return std::nullopt;
}

class Reader
{
public:
    explicit Reader(std::string_view fileName) : m_fileName(fileName) {}

    Profile read(const toml::table& root)
    {
        if (root.empty())
            throw Mistake{std::string(m_fileName) +
                          ": the profile is empty; give at least one channel table, such as "
                          "[AD0], or a setting such as port"};
        for (const auto& [key, node] : inFileOrder(root)) {
            const std::string_view name = key->str();
            if (const int k = designation(name); k >= 0) {
                m_channel = name;
                if (!node->is_table())
                    fail(*node, "must be a table, written [" + std::string(name) + "]");
                readChannel(*node->as_table(), m_profile.channel(k));
                m_channel = {};
            } else if (name == "port") {
                m_profile.port = text(*node, "port");
            } else if (name == "reconnect") {
                if (!node->is_boolean())
                    fail(*node, "reconnect: must be true or false, not " + kindOf(*node));
                m_profile.reconnect = node->as_boolean()->get();
            } else if (name == "record") {
                m_profile.record = text(*node, "record");
            } else if (name == "capture") {
                m_profile.capture = text(*node, "capture");
            } else if (name == "rotate") {
                std::string problem;
                m_profile.rotate = parseRotation(text(*node, "rotate"), problem);
                if (!m_profile.rotate)
                    fail(*node, "rotate: " + problem);
            } else if (name == "keep") {
                if (!node->is_integer() || node->as_integer()->get() < 1 ||
                    node->as_integer()->get() > kMostKept)
                    fail(*node,
                         "keep: must be a whole number from 1 to " + std::to_string(kMostKept));
                m_profile.keep = static_cast<int>(node->as_integer()->get());
            } else if (looksLikeChannel(name)) {
                fail(key->source(), "unknown channel " + quoted(name) + " (AD0..AD7)");
            } else {
                const std::string hint = suggestion(name, kGlobalKeys);
                fail(key->source(),
                     "unknown key " + quoted(name) +
                         (hint.empty() ? " (port, reconnect, record, capture, rotate, "
                                         "keep, or a channel table [AD0]..[AD7])"
                                       : hint));
            }
        }
        checkNames();
        return m_profile;
    }

private:
    using Entries = std::vector<std::pair<const toml::key*, const toml::node*>>;

    // A table keeps its keys sorted; a person reads the file top down, and the first mistake
    // reported should be the first they meet.
    static Entries inFileOrder(const toml::table& table)
    {
        Entries entries;
        for (const auto& [key, node] : table)
            entries.emplace_back(&key, &node);
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            const auto& x = a.first->source().begin;
            const auto& y = b.first->source().begin;
            return std::pair(x.line, x.column) < std::pair(y.line, y.column);
        });
        return entries;
    }

    static int designation(std::string_view name)
    {
        if (name.size() == 3 && name.substr(0, 2) == "AD" && name[2] >= '0' &&
            name[2] < '0' + kChannelCount)
            return name[2] - '0';
        return -1;
    }

    static bool looksLikeChannel(std::string_view name)
    {
        return name.size() >= 3 && equalNoCase(name.substr(0, 2), "AD") &&
               std::all_of(name.begin() + 2, name.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    }

    [[noreturn]] void fail(const toml::source_region& where, const std::string& what) const
    {
        std::string message = std::string(m_fileName) + ":" + std::to_string(where.begin.line) +
                              ":" + std::to_string(where.begin.column) + ": ";
        if (!m_channel.empty())
            message += std::string(m_channel) + ": ";
        throw Mistake{message + what};
    }

    [[noreturn]] void fail(const toml::node& node, const std::string& what) const
    {
        fail(node.source(), what);
    }

    std::string text(const toml::node& node, std::string_view key) const
    {
        if (!node.is_string())
            fail(node, std::string(key) + ": must be a text in quotes, not " + kindOf(node));
        const std::string& value = node.as_string()->get();
        if (value.empty())
            fail(node, std::string(key) + ": is empty");
        if (hasControlCharacter(value))
            fail(node, std::string(key) + ": holds a control character");
        return value;
    }

    double finite(const toml::node& node, const std::string& what) const
    {
        if (!node.is_number())
            fail(node, what + ": must be a number, not " + kindOf(node));
        const double value = node.value<double>().value_or(0.0);
        if (!std::isfinite(value))
            fail(node, what + ": " + number(value) + " is not a finite number");
        return value;
    }

    std::int32_t reading(const toml::node& node, const std::string& what) const
    {
        if (!node.is_integer())
            fail(node, what + ": must be a whole reading from 0 to 4095, not " + kindOf(node));
        const std::int64_t value = node.as_integer()->get();
        if (value < 0 || value > kReadingMax)
            fail(node, what + ": reading " + std::to_string(value) + " is not in 0..4095");
        return static_cast<std::int32_t>(value);
    }

    const toml::array& pair(const toml::node& node, const std::string& what,
                            std::string_view form) const
    {
        if (!node.is_array() || node.as_array()->size() != 2)
            fail(node, what + ": must be a list of two, " + std::string(form));
        return *node.as_array();
    }

    void readChannel(const toml::table& table, ChannelProfile& channel)
    {
        const toml::node* raw = nullptr;
        const toml::node* value = nullptr;
        const toml::node* gain = nullptr;
        const toml::node* offset = nullptr;
        const toml::node* points = nullptr;
        for (const auto& [key, node] : inFileOrder(table)) {
            const std::string_view name = key->str();
            if (name == "name") {
                channel.name = text(*node, "name");
                if (characters(channel.name) > kMaxNameLength)
                    fail(*node, "name: " + quoted(channel.name) + " is longer than 32 characters");
                m_names.push_back({channel.name, m_channel, node});
            } else if (name == "unit") {
                channel.unit = text(*node, "unit");
                if (characters(channel.unit) > kMaxUnitLength)
                    fail(*node, "unit: " + quoted(channel.unit) + " is longer than 16 characters");
            } else if (name == "decimals") {
                if (!node->is_integer() || node->as_integer()->get() < 0 ||
                    node->as_integer()->get() > kMaxDecimals)
                    fail(*node, "decimals: must be a whole number from 0 to 9");
                channel.decimals = static_cast<int>(node->as_integer()->get());
            } else if (name == "raw") {
                raw = node;
            } else if (name == "value") {
                value = node;
            } else if (name == "gain") {
                gain = node;
            } else if (name == "offset") {
                offset = node;
            } else if (name == "table") {
                points = node;
            } else if (name == "limits") {
                const toml::array& bounds = pair(*node, "limits", "[lo, hi]");
                const double lo = finite(*bounds.get(0), "limits");
                const double hi = finite(*bounds.get(1), "limits");
                if (lo > hi)
                    fail(*bounds.get(0),
                         "limits: lower bound " + number(lo) + " above upper bound " + number(hi));
                channel.limits = ValueRange{lo, hi};
            } else {
                const std::string hint = suggestion(name, kChannelKeys);
                fail(key->source(), "unknown key " + quoted(name) +
                                        (hint.empty() ? " (name, unit, decimals, raw and value, "
                                                        "gain and offset, table, limits)"
                                                      : hint));
            }
        }
        channel.calibration = calibration(raw, value, gain, offset, points);
    }

    std::optional<Calibration> calibration(const toml::node* raw, const toml::node* value,
                                           const toml::node* gain, const toml::node* offset,
                                           const toml::node* points) const
    {
        const int kinds = (raw || value) + (gain || offset) + (points != nullptr);
        if (kinds > 1) {
            const toml::node* second = points ? points : (gain ? gain : offset);
            fail(*second, "give one calibration: raw and value, gain and offset, or table");
        }
        if (raw || value) {
            if (!raw || !value)
                fail(raw ? *raw : *value, std::string(raw ? "raw" : "value") + ": needs " +
                                              (raw ? "value" : "raw") +
                                              " beside it, the values of its two readings");
            const toml::array& r = pair(*raw, "raw", "the readings [r1, r2]");
            const toml::array& v = pair(*value, "value", "the values [v1, v2]");
            const CalibrationPoint a{reading(*r.get(0), "raw"), finite(*v.get(0), "value")};
            const CalibrationPoint b{reading(*r.get(1), "raw"), finite(*v.get(1), "value")};
            if (a.raw == b.raw)
                fail(*r.get(1), "raw: both points are at reading " + std::to_string(a.raw) +
                                    "; a calibration needs two different readings");
            if (a.value == b.value)
                fail(*v.get(1), "value: both points are " + number(a.value) +
                                    ", which would give every reading the same value");
            return Calibration::line(a, b);
        }
        if (gain || offset) {
            const double g = gain ? finite(*gain, "gain") : 1.0;
            const double o = offset ? finite(*offset, "offset") : 0.0;
            if (g == 0)
                fail(*gain, "gain: 0 would give every reading the same value");
            return Calibration::gainOffset(g, o);
        }
        if (points)
            return table(*points);
        return std::nullopt;
    }

    Calibration table(const toml::node& node) const
    {
        if (!node.is_array() || node.as_array()->size() < 2)
            fail(node, "table: must be a list of at least two points [reading, value]");
        std::vector<CalibrationPoint> points;
        for (const toml::node& element : *node.as_array()) {
            const std::string what = "table point " + std::to_string(points.size() + 1);
            const toml::array& point = pair(element, what, "[reading, value]");
            points.push_back({reading(*point.get(0), what), finite(*point.get(1), what)});
            if (points.size() < 2)
                continue;
            const CalibrationPoint& before = points[points.size() - 2];
            const CalibrationPoint& now = points.back();
            if (now.raw <= before.raw)
                fail(*point.get(0), "table: reading " + std::to_string(now.raw) +
                                        " is not above the reading before it, " +
                                        std::to_string(before.raw) + "; the readings must ascend");
            if (now.value == before.value ||
                (points.size() > 2 &&
                 (now.value > before.value) != (points[1].value > points[0].value)))
                fail(*point.get(1), "table: value " + number(now.value) + " after " +
                                        number(before.value) +
                                        "; the values must rise throughout, or fall throughout");
        }
        return Calibration::table(std::move(points));
    }

    // Names stand for channels on the command line and in every output: each must say which.
    void checkNames()
    {
        for (std::size_t i = 0; i < m_names.size(); ++i) {
            const auto& [name, channel, node] = m_names[i];
            m_channel = channel;
            if (equalNoCase(name, "all") || (looksLikeChannel(name) && !equalNoCase(name, channel)))
                fail(*node, "name: " + quoted(name) +
                                " would be taken for a channel designation; choose another");
            if (name.find('=') != std::string::npos)
                fail(*node, "name: " + quoted(name) + " holds '=', which --expect cannot take");
            for (std::size_t j = 0; j < i; ++j)
                if (equalNoCase(m_names[j].name, name))
                    fail(*node, "name: " + quoted(name) + " is already the name of " +
                                    std::string(m_names[j].channel));
        }
        m_channel = {};
    }

    struct Named
    {
        std::string name;
        std::string_view channel;
        const toml::node* node;
    };

    std::string_view m_fileName;
    std::string_view m_channel; // the table being read, for the messages
    std::vector<Named> m_names;
    Profile m_profile;
};

} // namespace

ProfileRead parseProfile(std::string_view text, std::string_view fileName)
{
    ProfileRead result;
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        result.error = std::string(fileName) + ": the file is empty";
        return result;
    }
    if (const auto where = firstNonUtf8(text)) {
        result.error = std::string(fileName) + ":" + std::to_string(where->first) + ":" +
                       std::to_string(where->second) +
                       ": not UTF-8 text; save the profile as UTF-8";
        return result;
    }
    try {
        const toml::table root = toml::parse(text, fileName);
        result.profile = Reader(fileName).read(root);
    } catch (const toml::parse_error& e) {
        const auto& where = e.source().begin;
        result.error = std::string(fileName) + ":" + std::to_string(where.line) + ":" +
                       std::to_string(where.column) + ": " + std::string(e.description());
    } catch (const Mistake& mistake) {
        result.error = mistake.text;
    }
    return result;
}

ProfileRead readProfile(const std::string& path)
{
    ProfileRead result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string text;
    if (file) {
        char chunk[4096];
        std::size_t got = 0;
        while (text.size() <= kMaxFileSize && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            text.append(chunk, got);
        if (text.size() > kMaxFileSize) {
            std::fclose(file);
            result.error = path + ": larger than 1 MiB, which no profile is";
            return result;
        }
        const bool failed = std::ferror(file);
        const int error = errno;
        std::fclose(file);
        if (!failed)
            return parseProfile(text, path);
        errno = error;
    }
    result.error = "cannot read profile " + path + ": " + std::strerror(errno);
    return result;
}

} // namespace adc
