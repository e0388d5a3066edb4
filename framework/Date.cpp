#include "Date.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <ctime>

#include "Clock.h"

namespace fw {

namespace {
QDateTime ToQt(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(seconds * 1000.0)));
}
}  // namespace

Date::Date() : seconds_(CurrentClock().WallSeconds()) {}

Date Date::FromSeconds(double s) {
    Date d;
    d.seconds_ = s;
    return d;
}

int Date::Year() const {
    std::time_t t = static_cast<std::time_t>(std::floor(seconds_));
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
}

std::string Date::ShortDate() const {
    return QLocale::system().toString(ToQt(seconds_).date(), QLocale::ShortFormat).toStdString();
}

std::string Date::LongTime() const {
    return QLocale::system().toString(ToQt(seconds_).time(), QLocale::LongFormat).toStdString();
}

}  // namespace fw
