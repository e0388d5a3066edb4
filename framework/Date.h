// Date in local time; the current moment comes from the framework's clock.
#pragma once
#include <string>

namespace fw {

class Date {
public:
    Date();  // now
    double TotalSeconds() const { return seconds_; }
    void SetTotalSeconds(double s) { seconds_ = s; }
    int Year() const;
    std::string ShortDate() const;  // the user's short date format
    std::string LongTime() const;   // the user's long time format
    bool operator==(const Date& o) const { return seconds_ == o.seconds_; }
    bool operator!=(const Date& o) const { return seconds_ != o.seconds_; }
    bool operator<(const Date& o) const { return seconds_ < o.seconds_; }
    bool operator>(const Date& o) const { return seconds_ > o.seconds_; }

    static Date FromSeconds(double s);

private:
    double seconds_;  // since the Unix epoch, with sub-second precision
};

}  // namespace fw
