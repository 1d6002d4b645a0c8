#include "link/LinkData.h"

#include "platform/Clock.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <cstring>

namespace quadrantel::link {

namespace {

constexpr std::size_t kKeptDumpCapacity = 4u << 20; // a huge block's buffer is not kept

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

// A field's number as the program reads numbers; unknown when the field holds no digit.
std::optional<double> Number(std::string_view field)
{
    if (field.find_first_of("0123456789") == std::string_view::npos)
        return std::nullopt;
    return platform::Val(field);
}

} // namespace

void ParsePositionLine(std::string_view line, std::int64_t timeMs, traffic::Position& out)
{
    // Fields 1 to 8 at ":"; what follows them is no position's.
    std::string_view f[9];
    std::size_t start = 0;
    for (int k = 1; k <= 8; ++k) {
        const auto colon = line.find(':', start);
        f[k] = line.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    out.callsign.assign(f[2]);
    out.latitude = platform::Val(f[5]);
    out.longitude = platform::Val(f[6]);
    out.altitudeFt = Number(f[7]);
    out.speedKt = Number(f[8]);
    out.headingDeg.reset();
    out.timeMs = timeMs;
    out.source = traffic::Source::Link;
}

LinkData::DumpSink LinkData::DailyDump()
{
    return [](std::string_view lines) { shell::DumpBlock(lines); };
}

LinkData::LinkData(traffic::TrafficTable& table, const platform::Clock& clock, DumpSink dump)
    : table_(table), clock_(clock), dump_(std::move(dump))
{
}

std::optional<traffic::StripList> LinkData::Elabora(std::string_view data,
                                                    const traffic::TrafficTable::SelectionQuery& selectedStrip)
{
    // One reading for the whole block: its lines arrived together.
    blockMs_ = clock_.nowMSecs();
    blockNow_ = table_.SecondsNow();
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

    return table_.Refresh(selectedStrip, blockNow_);
}

void LinkData::HandleLine(std::string_view line)
{
    if (line.empty())
        return;
    dumpBuffer_.append(line).append("\r\n");
    if (line.front() != '@')
        return;
    ParsePositionLine(line, blockMs_, position_);
    table_.Store(position_, blockNow_);
}

void LinkData::DropUnfinishedLine()
{
    std::string().swap(rest_);
    skipping_ = false;
    skippedCr_ = false;
}

void LinkData::Hold(std::string_view tail)
{
    AppendWithoutLf(rest_, tail);
    if (rest_.size() <= kMaxPendingLine)
        return;
    // A peer that never ends its line must not eat the memory: drop it, resume after its CR LF.
    skippedCr_ = rest_.back() == '\r';
    std::string().swap(rest_);
    skipping_ = true;
    if (shell::globals().bDebug)
        shell::WriteLog("Dropped an unfinished line of more than " + std::to_string(kMaxPendingLine) + " bytes");
}

std::size_t LinkData::SkipOverlong(std::string_view data)
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

} // namespace quadrantel::link
