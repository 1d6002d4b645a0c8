// Builds airports.dat from the open airport-data CSV layout (a header row naming the
// columns ident, type, name, latitude_deg, longitude_deg, elevation_ft, iso_country,
// municipality, ...). Usage: airports-convert input.csv output.dat [type,type,...]
// Without a type list every airport but the closed ones is written.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One record of RFC 4180 CSV: quoted fields may hold commas, doubled quotes and line ends.
bool ReadRecord(std::istream& in, std::vector<std::string>& fields)
{
    fields.clear();
    std::string field;
    bool quoted = false, any = false;
    char c;
    while (in.get(c)) {
        any = true;
        if (quoted) {
            if (c == '"') {
                if (in.peek() == '"') {
                    in.get(c);
                    field += '"';
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!any)
        return false;
    fields.push_back(field);
    return true;
}

// A text field of airports.dat: 8-bit Latin-1 like all text of the program (UTF-8 input is
// converted, characters beyond Latin-1 become '?'), no separator, no line end.
std::string Clean(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        unsigned cp = b;
        std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (extra > 0) {
            cp = b & (0x3F >> extra);
            bool ok = true;
            for (std::size_t k = 1; k <= extra; ++k) {
                if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            }
            if (ok)
                i += extra;
            else
                cp = b;
        }
        char c = cp <= 0xFF ? static_cast<char>(cp) : '?';
        if (c == ':' || c == '\r' || c == '\n' || c == '\t')
            c = ' ';
        out += c;
    }
    return out;
}

bool ParseDegrees(const std::string& s, double limit, double& out)
{
    if (s.empty())
        return false;
    std::istringstream in(s);
    in.imbue(std::locale::classic());
    double v;
    if (!(in >> v) || !std::isfinite(v) || std::fabs(v) > limit)
        return false;
    in >> std::ws;
    if (!in.eof())
        return false;
    out = v;
    return true;
}

// Hemisphere letter, degrees, minutes and seconds rounded to the whole second.
std::string Coordinate(double v, char positive, char negative)
{
    const long total = std::lround(std::fabs(v) * 3600.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%03ld.%02ld.%02ld.000", v > 0 && total > 0 ? positive : negative, total / 3600,
                  total / 60 % 60, total % 60);
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: airports-convert input.csv output.dat [type,type,...]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "airports-convert: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::set<std::string> types;
    if (argc == 4) {
        std::istringstream list(argv[3]);
        for (std::string t; std::getline(list, t, ',');)
            if (!t.empty())
                types.insert(t);
    }

    std::vector<std::string> row;
    if (!ReadRecord(in, row)) {
        std::cerr << "airports-convert: empty input\n";
        return 1;
    }
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < row.size(); ++i)
        column.emplace(row[i], i);
    const char* needed[] = {"ident",         "type",         "name",        "latitude_deg",
                            "longitude_deg", "elevation_ft", "iso_country", "municipality"};
    for (const char* name : needed)
        if (!column.count(name)) {
            std::cerr << "airports-convert: no column " << name << "\n";
            return 1;
        }
    const auto at = [&](const char* name) -> std::string {
        const std::size_t i = column[name];
        return i < row.size() ? row[i] : std::string();
    };

    std::ostringstream out;
    std::set<std::string> seen;
    long written = 0, skipped = 0;
    while (ReadRecord(in, row)) {
        if (row.size() == 1 && row[0].empty())
            continue;
        const std::string ident = Clean(at("ident"));
        const std::string type = at("type");
        double lat = 0, lon = 0;
        const bool wanted = types.empty() ? type != "closed" : types.count(type) > 0;
        if (!wanted || ident.empty() || ident.find(' ') != std::string::npos ||
            !ParseDegrees(at("latitude_deg"), 90, lat) || !ParseDegrees(at("longitude_deg"), 180, lon) ||
            !seen.insert(ident).second) {
            ++skipped;
            continue;
        }
        out << ident << ':' << Clean(at("name")) << ':' << Clean(at("municipality")) << ':' << Clean(at("iso_country"))
            << ':' << Clean(at("elevation_ft")) << ':' << Coordinate(lat, 'N', 'S') << ':' << Coordinate(lon, 'E', 'W')
            << "\n";
        ++written;
    }
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        std::cerr << "airports-convert: cannot write " << argv[2] << "\n";
        return 1;
    }
    std::cout << written << " airports written, " << skipped << " rows skipped\n";
    return 0;
}
