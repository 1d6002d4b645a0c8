#include "link/TrafficTable.h"

#include "platform/Clock.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"
#include "shell/TextRoutines.h"

#include <cstring>
#include <exception>

namespace quadrantel::link {

namespace {

constexpr std::int64_t kNeverRefreshed = -9999;
constexpr std::int64_t kRefreshEvery = 10;          // a rebuild when more than this has passed
constexpr std::int64_t kQuietLimit = 50;            // an aircraft is dropped when quiet for longer
constexpr std::size_t kKeptDumpCapacity = 4u << 20; // a huge block's buffer is not kept

// Right-aligned in exactly `width` characters: filled in front, then the last ones kept.
void AppendRight(std::string& out, std::string_view text, std::size_t width, char fill)
{
    if (text.size() >= width) {
        out.append(text.substr(text.size() - width));
    } else {
        out.append(width - text.size(), fill);
        out.append(text);
    }
}

// Appends the text without its LF characters.
void AppendWithoutLf(std::string& out, std::string_view text)
{
    std::size_t from = 0;
    while (from < text.size()) {
        const auto lf = text.find('\n', from);
        const auto end = lf == std::string_view::npos ? text.size() : lf;
        out.append(text.substr(from, end - from));
        from = end + 1;
    }
}

// The position of the LF of the first CR LF in `data`; `heldCr` says whether the byte just
// before `data` was a CR. npos when there is none.
std::size_t FindCrLf(std::string_view data, bool heldCr)
{
    const char* p = data.data();
    std::size_t from = 0;
    while (from < data.size()) {
        const void* hit = std::memchr(p + from, '\n', data.size() - from);
        if (!hit)
            break;
        const auto q = static_cast<std::size_t>(static_cast<const char*>(hit) - p);
        if (q > 0 ? p[q - 1] == '\r' : heldCr)
            return q;
        from = q + 1;
    }
    return std::string_view::npos;
}

void DebugLog(std::string_view text)
{
    if (shell::globals().bDebug)
        shell::WriteLog(text);
}

} // namespace

void BuildTrafficRecord(std::string_view line, std::string& record)
{
    // Fields 1 to 8 at ":"; field 9 and later stay one text.
    std::string_view f[9];
    std::string_view tail;
    std::size_t start = 0;
    bool more = true;
    for (int k = 1; k <= 8 && more; ++k) {
        const auto colon = line.find(':', start);
        if (colon == std::string_view::npos) {
            f[k] = line.substr(start);
            more = false;
        } else {
            f[k] = line.substr(start, colon - start);
            start = colon + 1;
        }
    }
    if (more)
        tail = line.substr(start);

    record.clear();
    record.reserve(12 + 4 + 15 + 5 + f[5].size() + f[6].size() + f[4].size() + tail.size() + 7);
    if (f[2].size() >= 12) {
        record.append(f[2].substr(0, 12));
    } else {
        record.append(f[2]);
        record.append(12 - f[2].size(), ' ');
    }
    record += '\t';
    AppendRight(record, f[3], 4, '0');
    record += '\t';
    AppendRight(record, f[7], 15, ' ');
    record += '\t';
    AppendRight(record, f[8], 5, ' ');
    record += '\t';
    record.append(f[5]);
    record += '\t';
    record.append(f[6]);
    record += '\t';
    record.append(f[4]);
    record += '\t';
    record.append(tail);
}

std::string TrafficRecord(std::string_view positionLine)
{
    std::string record;
    BuildTrafficRecord(positionLine, record);
    return record;
}

std::string RecordField(std::string_view record, long n)
{
    return shell::GetField(record, n, '\t');
}

StripList RebuildStrips(KeyedCollection<std::string>& colCallsigns, KeyedCollection<std::string>& colTraffic,
                        KeyedCollection<std::int64_t>& colLastSeen, std::int64_t now, std::string_view selectedText)
{
    const std::string_view remembered = selectedText.substr(0, selectedText.find(' '));

    std::vector<std::string> marked;
    for (const auto& entry : colCallsigns) {
        std::int64_t* seen = colLastSeen.find(entry.item);
        if (!seen)
            continue; // without a time it cannot be judged stale
        if (*seen > now)
            *seen = now; // the clock was stepped back: count the silence from now, not from the future
        const std::string* record = colTraffic.find(entry.item);
        if (now - *seen > kQuietLimit || !record || record->empty())
            marked.push_back(entry.item);
    }
    for (const auto& callsign : marked) {
        colCallsigns.remove(callsign);
        colLastSeen.remove(callsign);
        colTraffic.remove(callsign);
    }

    StripList list;
    list.callsigns.reserve(colCallsigns.size());
    for (const auto& entry : colCallsigns) {
        list.callsigns.push_back(entry.item);
        if (!remembered.empty() && entry.item == remembered)
            list.reselect = list.callsigns.size() - 1;
    }
    return list;
}

TrafficTable::DumpSink TrafficTable::DailyDump()
{
    return [](std::string_view lines) { shell::DumpBlock(lines); };
}

TrafficTable::TrafficTable(const platform::Clock& clock, const QDateTime& dtStart, DumpSink dump)
    : clock_(clock), dtStartMs_(dtStart.toMSecsSinceEpoch()), dump_(std::move(dump))
{
}

std::optional<std::string> TrafficTable::Field(std::string_view callsign, long n) const
{
    const std::string* record = Record(callsign);
    if (!record)
        return std::nullopt;
    return RecordField(*record, n);
}

std::optional<std::string> TrafficTable::LastSeenText(std::string_view callsign) const
{
    const std::int64_t* seen = colLastSeen_.find(callsign);
    if (!seen)
        return std::nullopt;
    return platform::Format(static_cast<double>(*seen), "0000000");
}

std::optional<StripList> TrafficTable::Elabora(std::string_view data, const SelectionQuery& selectedStrip)
{
    // One reading for the whole block: its lines arrived together. (dtStart is held in UTC,
    // which gives the same count without a local-time conversion per call.)
    blockNow_ = platform::SecondsBetween(dtStartMs_, clock_.nowMSecs());
    dumpBuffer_.clear();

    std::size_t pos = skipping_ ? SkipOverlong(data) : 0;
    const char* p = data.data();
    std::size_t lineStart = pos;
    bool lineHasLf = false;
    while (pos < data.size()) {
        const void* hit = std::memchr(p + pos, '\n', data.size() - pos);
        if (!hit)
            break;
        const auto q = static_cast<std::size_t>(static_cast<const char*>(hit) - p);
        pos = q + 1;
        // Only the first line can begin in the held text, so only it can end on a held CR.
        const bool crlf = q > lineStart ? p[q - 1] == '\r' : !rest_.empty() && rest_.back() == '\r';
        if (!crlf) {
            lineHasLf = true; // a lone LF is removed, not a line end
            continue;
        }
        if (!rest_.empty()) {
            scratch_.assign(rest_);
            if (q == lineStart)
                scratch_.pop_back(); // the CR of this CR LF
            else
                AppendWithoutLf(scratch_, data.substr(lineStart, q - 1 - lineStart));
            rest_.clear();
            HandleLine(scratch_);
        } else if (lineHasLf) {
            scratch_.clear();
            AppendWithoutLf(scratch_, data.substr(lineStart, q - 1 - lineStart));
            HandleLine(scratch_);
        } else {
            HandleLine(data.substr(lineStart, q - 1 - lineStart));
        }
        lineStart = pos;
        lineHasLf = false;
    }
    if (lineStart < data.size())
        Hold(data.substr(lineStart));

    if (!dumpBuffer_.empty() && dump_) {
        try {
            dump_(dumpBuffer_);
        } catch (...) {
            // a dump line that cannot be written is lost, nothing else
        }
    }
    if (dumpBuffer_.capacity() > kKeptDumpCapacity)
        std::string().swap(dumpBuffer_);

    return RefreshIfDue(selectedStrip);
}

void TrafficTable::HandleLine(std::string_view line)
{
    if (line.empty())
        return;
    dumpBuffer_.append(line).append("\r\n");
    if (line.front() != '@')
        return;
    // Callsign: field 2.
    const auto first = line.find(':');
    std::string_view callsign;
    if (first != std::string_view::npos) {
        const auto second = line.find(':', first + 1);
        callsign =
            line.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    }
    try {
        colCallsigns_.reappend(callsign).assign(callsign);
        BuildTrafficRecord(line, colTraffic_.reappend(callsign));
        colLastSeen_.reappend(callsign) = blockNow_;
    } catch (const std::exception& e) {
        // The next rebuild drops an aircraft left half-stored; the other lines go on.
        DebugLog(std::string("Traffic table: ") + e.what());
    }
}

void TrafficTable::Store(const Position& p)
{
    scratch_.assign("@N:").append(p.callsign).append(":").append(p.code).append("::");
    scratch_.append(p.latitude).append(":").append(p.longitude).append(":").append(p.altitude).append(":");
    scratch_.append(p.speed);
    blockNow_ = platform::SecondsBetween(dtStartMs_, clock_.nowMSecs());
    try {
        colCallsigns_.reappend(p.callsign).assign(p.callsign);
        BuildTrafficRecord(scratch_, colTraffic_.reappend(p.callsign));
        colLastSeen_.reappend(p.callsign) = blockNow_;
    } catch (const std::exception& e) {
        DebugLog(std::string("Traffic table: ") + e.what());
    }
}

void TrafficTable::Remove(std::string_view callsign)
{
    colCallsigns_.remove(callsign);
    colTraffic_.remove(callsign);
    colLastSeen_.remove(callsign);
}

std::optional<StripList> TrafficTable::Refresh(const SelectionQuery& selectedStrip, bool now)
{
    blockNow_ = platform::SecondsBetween(dtStartMs_, clock_.nowMSecs());
    if (now)
        lastRefresh_.reset();
    return RefreshIfDue(selectedStrip);
}

void TrafficTable::DropUnfinishedLine()
{
    std::string().swap(rest_);
    skipping_ = false;
    skippedCr_ = false;
}

void TrafficTable::Hold(std::string_view tail)
{
    AppendWithoutLf(rest_, tail);
    if (rest_.size() <= kMaxPendingLine)
        return;
    // A peer that never ends its line must not eat the memory: drop it, resume after its CR LF.
    skippedCr_ = rest_.back() == '\r';
    std::string().swap(rest_);
    skipping_ = true;
    DebugLog("Dropped an unfinished line of more than " + std::to_string(kMaxPendingLine) + " bytes");
}

std::size_t TrafficTable::SkipOverlong(std::string_view data)
{
    if (data.empty())
        return 0;
    const auto lf = FindCrLf(data, skippedCr_);
    if (lf == std::string_view::npos) {
        skippedCr_ = data.back() == '\r';
        return data.size();
    }
    skipping_ = false;
    skippedCr_ = false;
    return lf + 1;
}

std::optional<StripList> TrafficTable::RefreshIfDue(const SelectionQuery& selectedStrip)
{
    const std::int64_t now = blockNow_;
    if (!lastRefresh_ || *lastRefresh_ > now) // never, or the clock went back
        lastRefresh_ = kNeverRefreshed;
    if (now - *lastRefresh_ <= kRefreshEvery)
        return std::nullopt;
    const std::string selected = selectedStrip ? selectedStrip() : std::string();
    StripList list = RebuildStrips(colCallsigns_, colTraffic_, colLastSeen_, now, selected);
    lastRefresh_ = now;
    return list;
}

} // namespace quadrantel::link
