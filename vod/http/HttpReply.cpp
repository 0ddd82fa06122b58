#include "vod/http/HttpReply.h"

namespace {

const char kConnectionLines[] = "Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n";
const char kClosingLines[] = "Cache-Control:no-cache\r\n\r\n";
const char kPolicy[] =
    "<?xml version=\"1.0\"?>\r\n<cross-domain-policy>\r\n"
    "<allow-access-from domain=\"*\" />\r\n</cross-domain-policy>";

std::string Two(int value)
{
    return std::string(1, static_cast<char>('0' + value / 10)) +
           static_cast<char>('0' + value % 10);
}

std::string DateLines(const std::string& date)
{
    return "Date: " + date + "\r\nServer: Kelo Simple Http Server\r\n";
}

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

}  // namespace

std::string FormatHttpDate(std::int64_t seconds)
{
    static const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar),
    // in eras of 400 years starting on 1 March.
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long dayOfEra = shifted - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;  // 0 = March
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const int weekday = static_cast<int>(((days % 7) + 7) % 7);

    const int hour = static_cast<int>(rest / 3600);
    const int minute = static_cast<int>(rest / 60 % 60);
    const int second = static_cast<int>(rest % 60);
    return std::string(kDays[weekday]) + ", " + Two(day) + " " + kMonths[month - 1] + " " +
           std::to_string(year) + " " + Two(hour) + ":" + Two(minute) + ":" + Two(second) +
           " GMT";
}

HttpReply BuildReply(const HttpRequest& request, std::uint64_t size, std::size_t flvHeaderLength,
                     const std::string& date)
{
    HttpReply reply;
    if (request.notModified) {
        reply.kind = ReplyKind::NotModified;
        reply.header = "HTTP/1.1 304 Not Modified\r\n" + DateLines(date) + kConnectionLines +
                       "ETag:" + request.etag + "\r\n" + kClosingLines;
        return reply;
    }
    const std::uint64_t start = request.startOffset;
    if ((request.hasRange || request.flvOffset) && start >= size) {
        reply.kind = ReplyKind::Unsatisfiable;
        reply.header = "HTTP/1.1 416 Requested Range Not Satisfiable\r\n" + DateLines(date) +
                       "Content-Range: bytes */" + Decimal(size) +
                       "\r\nContent-Length: 0\r\nConnection: close\r\n" + kClosingLines;
        return reply;
    }
    if (request.hasRange) {
        reply.kind = ReplyKind::Partial;
        reply.header = "HTTP/1.1 206 Partial Content\r\n" + DateLines(date) +
                       "Accept-Ranges: bytes\r\nContent-Length: " + Decimal(size - start) +
                       "\r\nContent-Range: bytes " + Decimal(start) + "-" + Decimal(size - 1) +
                       "/" + Decimal(size) + "\r\n" + kConnectionLines +
                       "Content-Type: application\r\n" + kClosingLines;
        return reply;
    }
    const std::uint64_t length = request.flvOffset ? size + flvHeaderLength - start : size;
    reply.kind = ReplyKind::Whole;
    reply.header = "HTTP/1.1 200 OK\r\n" + DateLines(date) +
                   "Accept-Ranges: bytes\r\nContent-Length: " + Decimal(length) + "\r\n" +
                   kConnectionLines + "Content-Type: application\r\n" + kClosingLines;
    return reply;
}

const std::string& CrossDomainReply()
{
    static const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " +
                                     std::to_string(sizeof(kPolicy) - 1) + "\r\n\r\n" + kPolicy;
    return reply;
}
