// Builds airports.dat from the open airport-data columns (ident, type, name, latitude_deg,
// longitude_deg, elevation_ft, iso_country, municipality, ...), given either as CSV with a
// header row or as a JSON array of objects keyed by those columns.
// Usage: airports-convert input.{csv,json} output.dat [type,type,...]
// Without a type list every airport but the closed ones is written. Codes are stored in upper
// case; an ident longer than the airport box's four characters is replaced by the row's
// icao_code or gps_code (optional columns) when one fits and is no other airport's ident.

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
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

const char* const kNeeded[] = {"ident",         "type",         "name",        "latitude_deg",
                               "longitude_deg", "elevation_ft", "iso_country", "municipality"};

// The value of a column in the current row; empty when the row has no such value.
using Column = std::function<std::string(const char*)>;

// The position window's airport box takes four characters, without blanks.
bool FitsTheBox(const std::string& code)
{
    return !code.empty() && code.size() <= 4 && code.find(' ') == std::string::npos;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Every input format ends here, so names, rounding, filtering and duplicates follow one rule.
struct Writer {
    struct Row {
        std::string ident;
        std::vector<std::string> codes; // replacements for an ident the box cannot take
        std::string fields;             // everything after the ident, with its separator
    };
    std::set<std::string> types;
    std::vector<Row> rows;
    long skipped = 0;

    void Add(const Column& at)
    {
        const std::string ident = Upper(Clean(at("ident")));
        const std::string type = at("type");
        double lat = 0, lon = 0;
        const bool wanted = types.empty() ? type != "closed" : types.count(type) > 0;
        if (!wanted || ident.empty() || ident.find(' ') != std::string::npos ||
            !ParseDegrees(at("latitude_deg"), 90, lat) || !ParseDegrees(at("longitude_deg"), 180, lon)) {
            ++skipped;
            return;
        }
        std::ostringstream fields;
        fields << ':' << Clean(at("name")) << ':' << Clean(at("municipality")) << ':' << Clean(at("iso_country")) << ':'
               << Clean(at("elevation_ft")) << ':' << Coordinate(lat, 'N', 'S') << ':' << Coordinate(lon, 'E', 'W');
        Row row{ident, {}, fields.str()};
        for (const char* column : {"icao_code", "gps_code"})
            if (const std::string code = Upper(Clean(at(column))); FitsTheBox(code))
                row.codes.push_back(code);
        rows.push_back(std::move(row));
    }

    // The records in input order. An airport's own ident wins over another's replacement code,
    // wherever either stands in the input; among equal codes the first wins.
    struct Result {
        std::string text;
        long written = 0, recoded = 0, uncoded = 0;
    };
    Result Write()
    {
        std::set<std::string> own;
        for (const Row& row : rows)
            if (FitsTheBox(row.ident))
                own.insert(row.ident);
        std::set<std::string> seen;
        Result result;
        for (const Row& row : rows) {
            std::string code = row.ident;
            if (!FitsTheBox(code)) {
                code.clear();
                for (const std::string& candidate : row.codes)
                    if (code.empty() && !own.count(candidate) && !seen.count(candidate))
                        code = candidate;
                if (code.empty()) {
                    ++result.uncoded;
                    continue;
                }
                ++result.recoded;
            }
            if (!seen.insert(code).second) {
                ++skipped;
                continue;
            }
            result.text += code + row.fields + "\n";
            ++result.written;
        }
        return result;
    }
};

bool ReadCsv(std::istream& in, Writer& writer)
{
    std::vector<std::string> row;
    if (!ReadRecord(in, row)) {
        std::cerr << "airports-convert: empty input\n";
        return false;
    }
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < row.size(); ++i)
        column.emplace(row[i], i);
    for (const char* name : kNeeded)
        if (!column.count(name)) {
            std::cerr << "airports-convert: no column " << name << "\n";
            return false;
        }
    const Column at = [&](const char* name) -> std::string {
        const auto found = column.find(name);
        return found != column.end() && found->second < row.size() ? row[found->second] : std::string();
    };
    while (ReadRecord(in, row)) {
        if (row.size() == 1 && row[0].empty())
            continue;
        writer.Add(at);
    }
    return true;
}

std::string JsonText(const QJsonValue& v)
{
    if (v.isString())
        return v.toString().toStdString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest).toStdString();
    return {};
}

bool ReadJson(const QByteArray& bytes, Writer& writer)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        std::cerr << "airports-convert: bad JSON at byte " << error.offset << ": " << error.errorString().toStdString()
                  << "\n";
        return false;
    }
    if (!doc.isArray()) {
        std::cerr << "airports-convert: JSON input is no array of airports\n";
        return false;
    }
    const QJsonArray rows = doc.array();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!rows[i].isObject()) {
            std::cerr << "airports-convert: JSON element " << i << " is no object\n";
            return false;
        }
        const QJsonObject row = rows[i].toObject();
        // Like a CSV header, every record must name the columns: a renamed key is an error,
        // not thousands of silently skipped airports.
        for (const char* name : kNeeded)
            if (!row.contains(QLatin1String(name))) {
                std::cerr << "airports-convert: no column " << name << " in JSON element " << i << "\n";
                return false;
            }
        writer.Add([&](const char* name) { return JsonText(row.value(QLatin1String(name))); });
    }
    return true;
}

bool LooksLikeJson(const QByteArray& bytes)
{
    for (qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return c == '[' || c == '{';
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: airports-convert input.{csv,json} output.dat [type,type,...]\n";
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::cerr << "airports-convert: cannot read " << argv[1] << "\n";
        return 1;
    }
    const QByteArray bytes = file.readAll();
    Writer writer;
    if (argc == 4) {
        std::istringstream list(argv[3]);
        for (std::string t; std::getline(list, t, ',');)
            if (!t.empty())
                writer.types.insert(t);
    }

    if (LooksLikeJson(bytes)) {
        if (!ReadJson(bytes, writer))
            return 1;
    } else {
        std::istringstream in(bytes.toStdString());
        if (!ReadCsv(in, writer))
            return 1;
    }
    const Writer::Result result = writer.Write();
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << result.text;
    out.close();
    if (!out) {
        std::cerr << "airports-convert: cannot write " << argv[2] << "\n";
        return 1;
    }
    std::cout << result.written << " airports written (" << result.recoded << " under their ICAO or GPS code), "
              << result.uncoded << " left out for want of a code the airport box takes, " << writer.skipped
              << " rows skipped\n";
    return 0;
}
