#include "data/FbResult.h"

#include "data/EDatabaseError.h"

#include <firebird/Interface.h>

#include <QList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

namespace tarvel {

namespace {

// Firebird counts days from 17 November 1858; the date-time scale starts on 30 December 1899. Its
// times of day are ticks of a ten-thousandth of a second, as DateTime's are.
constexpr int kDaysFrom1858To1899 = 15018;
static_assert(ISC_TIME_SECONDS_PRECISION == DateTime::kTicksPerSecond);

template <typename T>
T readAt(const FbRow& row, unsigned offset)
{
    T value;
    std::memcpy(&value, row.message.constData() + offset, sizeof value);
    return value;
}

int64_t integerValue(const FbColumn& column, const FbRow& row)
{
    switch (column.type) {
    case SQL_SHORT:
        return readAt<int16_t>(row, column.offset);
    case SQL_LONG:
        return readAt<int32_t>(row, column.offset);
    default:
        return readAt<int64_t>(row, column.offset);
    }
}

// The double nearest to value × 10^scale, as the engine itself converts: the integer divided by the
// exact power of ten. (Multiplying by 10^-n would round twice, since 10^-n has no exact double:
// 26750 × 0.0001 gives 2.6750000000000003 where 2.675 is meant.)
double scaledDouble(int64_t value, int scale)
{
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const int places = scale < 0 ? -scale : scale;
    const double power = places < int(std::size(kPowers)) ? kPowers[places] : std::pow(10.0, places);
    return scale < 0 ? double(value) / power : double(value) * power;
}

QByteArray scaledText(int64_t value, int scale)
{
    const bool negative = value < 0;
    // Through unsigned, so the most negative value keeps its digits.
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    QByteArray digits = QByteArray::number(static_cast<qulonglong>(magnitude));
    if (scale > 0) {
        digits += QByteArray(scale, '0');
    } else if (scale < 0) {
        const int places = -scale;
        if (digits.size() <= places)
            digits.prepend(QByteArray(places - digits.size() + 1, '0'));
        digits.insert(digits.size() - places, '.');
    }
    return negative ? '-' + digits : digits;
}

template <typename F>
QByteArray shortestText(F value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, result.ptr - buffer);
}

struct CivilDate {
    int year;
    unsigned month;
    unsigned day;
};

// Days since 1858-11-17 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
CivilDate civilFromFirebirdDays(int fbDays)
{
    // 1858-11-17 is day -40587 of the Unix epoch.
    const int64_t days = int64_t(fbDays) - 40587;
    const int64_t zz = days + 719468;
    const int64_t era = (zz >= 0 ? zz : zz - 146096) / 146097;
    const unsigned doe = unsigned(zz - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {int(y + (m <= 2)), m, d};
}

// A proleptic Gregorian date to days since 1899-12-30.
int64_t daysFrom1899(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = era * 146097 + int64_t(doe) - 719468;
    return unixDays + 25569; // 1899-12-30 is day -25569 of the Unix epoch
}

QByteArray twoDigits(unsigned n) { return QByteArray::number(n).rightJustified(2, '0'); }

QByteArray dateText(ISC_DATE date)
{
    const CivilDate c = civilFromFirebirdDays(date);
    return QByteArray::number(c.year).rightJustified(4, '0') + '-' + twoDigits(c.month) + '-' + twoDigits(c.day);
}

QByteArray timeText(ISC_TIME time)
{
    const unsigned seconds = time / ISC_TIME_SECONDS_PRECISION;
    const unsigned fraction = time % ISC_TIME_SECONDS_PRECISION;
    QByteArray text = twoDigits(seconds / 3600) + ':' + twoDigits(seconds / 60 % 60) + ':' + twoDigits(seconds % 60);
    if (fraction != 0)
        text += '.' + QByteArray::number(fraction).rightJustified(4, '0');
    return text;
}

QByteArray textOf(const FbColumn& column, const FbRow& row)
{
    const char* data = row.message.constData() + column.offset;
    if (column.type == SQL_VARYING) // never more than the column holds, whatever its length bytes say
        return QByteArray(data + 2, std::min<qsizetype>(readAt<uint16_t>(row, column.offset), column.length));
    if (column.type == SQL_BLOB)
        return row.blobs[column.index];
    QByteArray text(data, column.length);
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    text.truncate(end);
    return text;
}

EDatabaseError unreadable(const FbColumn& column)
{
    return EDatabaseError("Column " + column.name.toStdString() + " has a data type this program cannot read");
}

// The engine's scales of numeric columns lie within 18 places; any other is no column of its making.
int scaleOf(const FbColumn& column)
{
    if (column.scale < -18 || column.scale > 18)
        throw unreadable(column);
    return column.scale;
}

// A time of day as the engine keeps it: ticks below one day. A row that holds more is damaged.
ISC_TIME timeOfDay(const FbColumn& column, ISC_TIME time)
{
    if (time >= ISC_TIME(DateTime::kTicksPerDay))
        throw EDatabaseError("Column " + column.name.toStdString() + " holds a time of day past 24:00");
    return time;
}

EDatabaseError conversionError(const QByteArray& text)
{
    return EDatabaseError(("conversion error from string \"" + text + "\"").toStdString());
}

QByteArray trimmedBlanks(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return text.mid(begin, end - begin);
}

// A decimal number as the engine accepts it in a string: sign, digits with at most one point, an
// optional exponent. Nothing else, not even an empty text.
std::optional<double> parseDecimal(const QByteArray& raw)
{
    const QByteArray text = trimmedBlanks(raw);
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        const qsizetype expStart = i;
        while (i < n && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == expStart)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale, whatever the host's settings
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Seconds as "SS" or "SS.f...": whole seconds and up to four digits of fraction, in ticks; further
// digits are below a tick and dropped.
std::optional<qint32> parseSecondTicks(const QByteArray& text)
{
    const qsizetype point = text.indexOf('.');
    const QByteArray whole = point < 0 ? text : text.left(point);
    const QByteArray fraction = point < 0 ? QByteArray() : text.mid(point + 1);
    const auto digitsOnly = [](const QByteArray& t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.isEmpty() || whole.size() > 2 || !digitsOnly(whole) || (point >= 0 && fraction.isEmpty())
        || !digitsOnly(fraction))
        return std::nullopt;
    const int seconds = whole.toInt();
    if (seconds >= 60)
        return std::nullopt;
    return qint32(seconds * DateTime::kTicksPerSecond + fraction.left(4).leftJustified(4, '0').toInt());
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.f...]]" or "HH:MM[:SS[.f...]]", the forms FieldText writes.
std::optional<DateTime> parseDateTime(const QByteArray& raw)
{
    const QByteArray text = trimmedBlanks(raw);
    int64_t days = 0;
    QByteArray timePart = text;
    const bool hasDate = text.size() >= 10 && text[4] == '-' && text[7] == '-';
    if (hasDate) {
        bool okY = false, okM = false, okD = false;
        const int y = text.left(4).toInt(&okY);
        const int m = text.mid(5, 2).toInt(&okM);
        const int d = text.mid(8, 2).toInt(&okD);
        if (!okY || !okM || !okD || m < 1 || m > 12 || d < 1 || d > 31)
            return std::nullopt;
        days = daysFrom1899(y, unsigned(m), unsigned(d));
        if (text.size() == 10)
            return DateTime{days, 0};
        if (text[10] != ' ' && text[10] != 'T')
            return std::nullopt;
        timePart = text.mid(11);
    }
    const QList<QByteArray> parts = timePart.split(':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    bool okH = false, okMin = false;
    const int h = parts[0].toInt(&okH);
    const int mi = parts[1].toInt(&okMin);
    const std::optional<qint32> secondTicks = parts.size() == 3 ? parseSecondTicks(parts[2]) : qint32(0);
    if (!okH || !okMin || h < 0 || h > 23 || mi < 0 || mi > 59 || !secondTicks)
        return std::nullopt;
    return DateTime{days, (h * 3600 + mi * 60) * DateTime::kTicksPerSecond + *secondTicks};
}

} // namespace

int FbResult::columnIndex(const QByteArray& name) const
{
    // QByteArray's case-insensitive comparison folds ASCII letters only.
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

bool FieldIsNull(const FbColumn& column, const FbRow& row) { return readAt<int16_t>(row, column.nullOffset) != 0; }

QByteArray FieldText(const FbColumn& column, const FbRow& row)
{
    if (FieldIsNull(column, row))
        return {};
    switch (column.type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB:
        return textOf(column, row);
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return scaledText(integerValue(column, row), scaleOf(column));
    case SQL_FLOAT:
        return shortestText(readAt<float>(row, column.offset));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return shortestText(readAt<double>(row, column.offset));
    case SQL_TYPE_DATE:
        return dateText(readAt<ISC_DATE>(row, column.offset));
    case SQL_TYPE_TIME:
        return timeText(timeOfDay(column, readAt<ISC_TIME>(row, column.offset)));
    case SQL_TIMESTAMP: {
        const ISC_TIMESTAMP ts = readAt<ISC_TIMESTAMP>(row, column.offset);
        return dateText(ts.timestamp_date) + ' ' + timeText(timeOfDay(column, ts.timestamp_time));
    }
    case SQL_BOOLEAN:
        return readAt<FB_BOOLEAN>(row, column.offset) ? "TRUE" : "FALSE";
    default:
        throw unreadable(column);
    }
}

double FieldDouble(const FbColumn& column, const FbRow& row)
{
    if (FieldIsNull(column, row))
        return 0;
    switch (column.type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB: {
        const QByteArray text = textOf(column, row);
        if (const std::optional<double> value = parseDecimal(text))
            return *value;
        throw conversionError(text);
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return scaledDouble(integerValue(column, row), scaleOf(column));
    case SQL_FLOAT:
        return readAt<float>(row, column.offset);
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return readAt<double>(row, column.offset);
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TIMESTAMP:
        return FieldDateTime(column, row).toDays();
    case SQL_BOOLEAN:
        return readAt<FB_BOOLEAN>(row, column.offset) ? 1 : 0;
    default:
        throw unreadable(column);
    }
}

DateTime FieldDateTime(const FbColumn& column, const FbRow& row)
{
    if (FieldIsNull(column, row))
        return {};
    switch (column.type) {
    case SQL_TYPE_DATE:
        return {int64_t(readAt<ISC_DATE>(row, column.offset)) - kDaysFrom1858To1899, 0};
    case SQL_TYPE_TIME:
        return {0, qint32(timeOfDay(column, readAt<ISC_TIME>(row, column.offset)))};
    case SQL_TIMESTAMP: {
        const ISC_TIMESTAMP ts = readAt<ISC_TIMESTAMP>(row, column.offset);
        return {int64_t(ts.timestamp_date) - kDaysFrom1858To1899, qint32(timeOfDay(column, ts.timestamp_time))};
    }
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB: {
        const QByteArray text = textOf(column, row);
        if (const std::optional<DateTime> value = parseDateTime(text))
            return *value;
        throw conversionError(text);
    }
    default:
        return DateTime::fromDays(FieldDouble(column, row));
    }
}

} // namespace tarvel
