#include "feed/FeedParser.h"

#include "feed/FeedTime.h"
#include "platform/Runtime.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>

namespace quadrantel::feed {

namespace od = simdjson::ondemand;

namespace {

// A structural fault anywhere makes the whole file unusable; a wrong type only the entry.
struct Broken {};

void Check(simdjson::error_code e)
{
    if (e != simdjson::SUCCESS && e != simdjson::INCORRECT_TYPE && e != simdjson::NUMBER_ERROR &&
        e != simdjson::NUMBER_OUT_OF_RANGE && e != simdjson::NO_SUCH_FIELD)
        throw Broken{};
}

od::json_type TypeOf(od::value& v)
{
    od::json_type t{};
    if (v.type().get(t) != simdjson::SUCCESS)
        throw Broken{};
    return t;
}

std::optional<double> Number(od::value v)
{
    if (TypeOf(v) != od::json_type::number)
        return std::nullopt;
    double d = 0;
    const auto e = v.get_double().get(d);
    Check(e);
    if (e != simdjson::SUCCESS || !std::isfinite(d))
        return std::nullopt;
    return d;
}

// A text that cannot be unescaped (a lone surrogate) is that entry's fault, not the file's.
std::optional<std::string_view> Text(od::value v)
{
    if (TypeOf(v) != od::json_type::string)
        return std::nullopt;
    std::string_view s;
    const auto e = v.get_string().get(s);
    if (e != simdjson::STRING_ERROR)
        Check(e);
    if (e != simdjson::SUCCESS)
        return std::nullopt;
    return s;
}

std::string_view Key(od::field& f)
{
    std::string_view k;
    const auto e = f.unescaped_key().get(k);
    if (e == simdjson::STRING_ERROR)
        return {}; // no key we read
    Check(e);
    return k;
}

// Length of the UTF-8 sequence at `p` (of `n` bytes left), 0 when it is none.
std::size_t Utf8Length(const unsigned char* p, std::size_t n)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned lo = 0x80, hi = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    return len;
}

// Makes a file the parser takes whole out of one with bytes that are no UTF-8 or raw control
// characters in its texts: each such byte becomes DEL, which a callsign may not hold, so only
// the entry that needs it is lost. Outside texts the structure stays as broken as it was.
void Mend(char* text, std::size_t size)
{
    auto* p = reinterpret_cast<unsigned char*>(text);
    bool inText = false;
    for (std::size_t i = 0; i < size;) {
        const std::size_t len = Utf8Length(p + i, size - i);
        if (len == 0) {
            p[i++] = 0x7F;
            continue;
        }
        if (len == 1) {
            if (inText && p[i] < 0x20)
                p[i] = 0x7F;
            else if (p[i] == '"')
                inText = !inText;
            else if (inText && p[i] == '\\' && i + 1 < size && p[i + 1] < 0x80) {
                ++i; // the escaped character is no delimiter
                if (p[i] < 0x20)
                    p[i] = 0x7F;
            }
        }
        i += len;
    }
}

bool UsableCallsign(std::string_view c)
{
    if (c.empty() || c.size() > kMaxCallsign)
        return false;
    for (const char ch : c)
        if (ch <= ' ' || ch > '~') // a blank would cut it in the strip list
            return false;
    return true;
}

// The transponder code as four digits; a number in one layout, a text in the other.
std::string Squawk(od::value v)
{
    const od::json_type t = TypeOf(v);
    if (t == od::json_type::string) {
        const auto s = Text(v);
        return s && s->size() <= 4 ? std::string(*s) : std::string();
    }
    if (t == od::json_type::number) {
        const auto n = Number(v);
        if (n && *n >= 0 && *n <= 7777 && *n == std::floor(*n)) {
            const std::string digits = std::to_string(static_cast<int>(*n));
            return std::string(4 - digits.size(), '0') + digits;
        }
    }
    return {};
}

struct Fields {
    std::optional<std::string_view> callsign;
    std::optional<double> lat, lon, alt, gs, hdg;
    std::optional<std::string_view> time;
    std::string squawk;
    bool hasTrack = false;
};

// The position fields shared by both layouts; true when the key was one of them.
bool PositionField(std::string_view key, od::value v, Fields& f, const char* speedKey, const char* timeKey)
{
    if (key == "latitude")
        f.lat = Number(v);
    else if (key == "longitude")
        f.lon = Number(v);
    else if (key == "altitude")
        f.alt = Number(v);
    else if (key == speedKey)
        f.gs = Number(v);
    else if (key == "heading")
        f.hdg = Number(v);
    else if (key == timeKey)
        f.time = Text(v);
    else if (key == "transponder")
        f.squawk = Squawk(v);
    else
        return false;
    return true;
}

std::optional<Pilot> MakePilot(const Fields& f)
{
    if (!f.callsign || !f.lat || !f.lon)
        return std::nullopt;
    const std::string call = platform::Trim(*f.callsign);
    if (!UsableCallsign(call))
        return std::nullopt;
    if (std::fabs(*f.lat) > 90 || std::fabs(*f.lon) > 180)
        return std::nullopt;
    // 0/0 is where a client stands before it has sent a position.
    if (*f.lat == 0 && *f.lon == 0)
        return std::nullopt;
    Pilot p;
    p.callsign = call;
    p.latitude = *f.lat;
    p.longitude = *f.lon;
    if (f.alt)
        p.altitudeFt = std::clamp(*f.alt, -2000.0, 100000.0);
    if (f.gs && *f.gs >= 0 && *f.gs < 5000)
        p.groundSpeedKt = *f.gs;
    if (f.hdg && *f.hdg >= -360 && *f.hdg <= 720)
        p.headingDeg = std::fmod(std::fmod(*f.hdg, 360.0) + 360.0, 360.0);
    if (f.time)
        p.positionMs = ParseFeedTime(*f.time).value_or(0);
    p.squawk = f.squawk;
    return p;
}

} // namespace

struct FeedParser::Impl {
    od::parser parser;
    std::string padded;                                // the file with the padding the parser reads past its end
    std::unordered_map<std::string, std::size_t> seen; // upper-case callsign -> index in pilots

    void Add(Snapshot& s, std::optional<Pilot> p)
    {
        if (!p) {
            ++s.skipped;
            return;
        }
        std::string key = platform::UCase(p->callsign);
        const auto [it, added] = seen.try_emplace(std::move(key), s.pilots.size());
        if (added) {
            s.pilots.push_back(std::move(*p));
            return;
        }
        // A pilot connected twice: the newer position stands.
        ++s.skipped;
        Pilot& old = s.pilots[it->second];
        if (p->positionMs >= old.positionMs)
            old = std::move(*p);
    }

    void TrackB(od::value v, Fields& f)
    {
        if (TypeOf(v) != od::json_type::object)
            return;
        od::object o;
        Check(v.get_object().get(o));
        f.hasTrack = true;
        for (auto field : o) {
            od::field fl;
            Check(std::move(field).get(fl));
            PositionField(Key(fl), fl.value(), f, "groundSpeed", "timestamp");
        }
    }

    // The pilots array of either layout: A has the position in the pilot's own fields, B in
    // `lastTrack`, and a B pilot without one is no aircraft.
    void Pilots(od::value v, Snapshot& s, bool layoutB)
    {
        od::array pilots;
        Check(v.get_array().get(pilots));
        for (auto item : pilots) {
            Check(item.error());
            od::value entry = item.value_unsafe();
            od::object o;
            if (TypeOf(entry) != od::json_type::object || entry.get_object().get(o) != simdjson::SUCCESS) {
                ++s.skipped;
                continue;
            }
            Fields f;
            for (auto field : o) {
                od::field fl;
                Check(std::move(field).get(fl));
                const std::string_view key = Key(fl);
                if (key == "callsign")
                    f.callsign = Text(fl.value());
                else if (!layoutB)
                    PositionField(key, fl.value(), f, "groundspeed", "last_updated");
                else if (key == "lastTrack")
                    TrackB(fl.value(), f);
            }
            Add(s, !layoutB || f.hasTrack ? MakePilot(f) : std::nullopt);
        }
    }

    // Layout B's pilots are one level down.
    bool ClientsB(od::value v, Snapshot& s)
    {
        if (TypeOf(v) != od::json_type::object)
            return false;
        od::object o;
        Check(v.get_object().get(o));
        bool found = false;
        for (auto field : o) {
            od::field fl;
            Check(std::move(field).get(fl));
            od::value pv = fl.value();
            if (!found && Key(fl) == "pilots" && TypeOf(pv) == od::json_type::array) {
                Pilots(pv, s, true);
                found = true;
            }
        }
        return found;
    }

    // The status document's addresses of the file, under the name of its layout's version.
    void Addresses(od::value v, Snapshot& s)
    {
        if (TypeOf(v) != od::json_type::object)
            return;
        od::object o;
        Check(v.get_object().get(o));
        for (auto field : o) {
            od::field fl;
            Check(std::move(field).get(fl));
            od::value list = fl.value();
            if (Key(fl) != "v3" || TypeOf(list) != od::json_type::array)
                continue;
            od::array a;
            Check(list.get_array().get(a));
            for (auto item : a) {
                Check(item.error());
                const auto address = Text(item.value_unsafe());
                if (address && address->size() <= 2048 && s.addresses.size() < 16)
                    s.addresses.emplace_back(*address);
            }
        }
    }

    bool Run(std::string_view json, Snapshot& s, std::string& error)
    {
        if (json.substr(0, 3) == "\xEF\xBB\xBF")
            json.remove_prefix(3); // a byte-order mark
        padded.assign(json);
        padded.append(simdjson::SIMDJSON_PADDING, '\0');
        od::document doc;
        auto e = parser.iterate(padded.data(), json.size(), padded.size()).get(doc);
        if (e == simdjson::UTF8_ERROR || e == simdjson::UNESCAPED_CHARS) {
            Mend(padded.data(), json.size());
            e = parser.iterate(padded.data(), json.size(), padded.size()).get(doc);
        }
        if (e != simdjson::SUCCESS) {
            error = "not JSON";
            return false;
        }
        od::object root;
        if (doc.get_object().get(root) != simdjson::SUCCESS) {
            error = "not JSON";
            return false;
        }
        bool a = false, b = false;
        for (auto field : root) {
            od::field fl;
            Check(std::move(field).get(fl));
            const std::string_view key = Key(fl);
            od::value v = fl.value();
            if (key == "pilots" && !a && !b && TypeOf(v) == od::json_type::array) {
                Pilots(v, s, false);
                a = true;
            } else if (key == "clients" && !a && !b) {
                b = ClientsB(v, s);
            } else if (key == "general" && TypeOf(v) == od::json_type::object) {
                od::object g;
                Check(v.get_object().get(g));
                for (auto gf : g) {
                    od::field gfl;
                    Check(std::move(gf).get(gfl));
                    if (Key(gfl) == "update_timestamp")
                        if (const auto t = Text(gfl.value()))
                            s.updatedMs = ParseFeedTime(*t).value_or(0);
                }
            } else if (key == "updatedAt") {
                if (const auto t = Text(v))
                    s.updatedMs = ParseFeedTime(*t).value_or(0);
            } else if (key == "data" && !a && !b) {
                Addresses(v, s);
            }
        }
        if (!a && !b && !s.addresses.empty()) {
            s.layout = Layout::Status;
            return true;
        }
        s.addresses.clear();
        if (!a && !b) {
            error = "neither layout";
            return false;
        }
        s.layout = a ? Layout::A : Layout::B;
        return true;
    }
};

FeedParser::FeedParser() : impl_(std::make_unique<Impl>()) {}

FeedParser::~FeedParser() = default;

bool FeedParser::Parse(std::string_view json, Snapshot& out, std::string& error)
{
    out.pilots.clear();
    out.updatedMs = 0;
    out.skipped = 0;
    out.addresses.clear();
    out.layout = Layout::A;
    error.clear();
    impl_->seen.clear();
    bool ok = false;
    try {
        ok = impl_->Run(json, out, error);
    } catch (const Broken&) {
        error = "not JSON";
    }
    if (!ok) {
        out.pilots.clear();
        out.addresses.clear();
    }
    // A huge file's copy is not kept.
    if (impl_->padded.capacity() > (std::size_t{16} << 20))
        std::string().swap(impl_->padded);
    return ok;
}

} // namespace quadrantel::feed
