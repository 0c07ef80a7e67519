// Date: milliseconds since 1970 in a hidden slot, read and changed field by field. The player
// keeps every clock in UTC, so local time and UTC agree and a movie prints the same dates
// wherever it runs.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMsPerDay = 86'400'000;

// Days from 1970-01-01 to the given day (month from 0, overflowing months carry into years).
double DaysFromCivil(double year, double month, double day) {
  year += std::floor(month / 12);
  month = std::fmod(month, 12);
  if (month < 0) month += 12;
  const double y = month < 2 ? year - 1 : year;
  const double era = std::floor(y / 400);
  const double yoe = y - era * 400;
  const double m = month + 1;
  const double doy = std::floor((153 * (m > 2 ? m - 3 : m + 9) + 2) / 5);
  const double doe = yoe * 365 + std::floor(yoe / 4) - std::floor(yoe / 100) + doy;
  return era * 146097 + doe - 719468 + day - 1;
}

struct Fields {
  double year, month, date, hours, minutes, seconds, ms, day;
};

Fields Split(double t) {
  const double days = std::floor(t / kMsPerDay);
  double rest = t - days * kMsPerDay;
  Fields f{};
  const double z = days + 719468;
  const double era = std::floor(z / 146097);
  const double doe = z - era * 146097;
  const double yoe = std::floor(
      (doe - std::floor(doe / 1460) + std::floor(doe / 36524) - std::floor(doe / 146096)) / 365);
  const double doy = doe - (365 * yoe + std::floor(yoe / 4) - std::floor(yoe / 100));
  const double mp = std::floor((5 * doy + 2) / 153);
  f.date = doy - std::floor((153 * mp + 2) / 5) + 1;
  f.month = mp < 10 ? mp + 2 : mp - 10;
  f.year = yoe + era * 400 + (f.month < 2 ? 1 : 0);
  f.hours = std::floor(rest / 3'600'000);
  rest -= f.hours * 3'600'000;
  f.minutes = std::floor(rest / 60'000);
  rest -= f.minutes * 60'000;
  f.seconds = std::floor(rest / 1000);
  f.ms = rest - f.seconds * 1000;
  f.day = std::fmod(days + 4, 7);
  if (f.day < 0) f.day += 7;
  return f;
}

double Join(const Fields& f) {
  for (double v : {f.year, f.month, f.date, f.hours, f.minutes, f.seconds, f.ms}) {
    if (!std::isfinite(v)) return kNaN;
  }
  const double t =
      DaysFromCivil(std::trunc(f.year), std::trunc(f.month), std::trunc(f.date)) * kMsPerDay +
      std::trunc(f.hours) * 3'600'000 + std::trunc(f.minutes) * 60'000 +
      std::trunc(f.seconds) * 1000 + std::trunc(f.ms);
  // Dates reach 100 million days either side of 1970.
  return std::fabs(t) > 8.64e15 ? kNaN : t;
}

double Now() {
  using namespace std::chrono;
  return static_cast<double>(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

bool IsDate(const Value& v) {
  Object* o = v.AsObject();
  return o && o->kind == ObjectKind::Date && o->internal.size() == 1;
}

double TimeOf(const Value& self) {
  return IsDate(self) ? self.AsObject()->internal[0].AsNumber() : kNaN;
}

// Year, month and the rest from arguments, as the constructor and Date.UTC read them: a
// two-digit year means the 1900s.
double FromParts(Interpreter& vm, std::span<const Value> a) {
  Fields f{NumberArg(vm, a, 0), NumberArg(vm, a, 1), 1, 0, 0, 0, 0, 0};
  double* rest[] = {&f.date, &f.hours, &f.minutes, &f.seconds, &f.ms};
  for (size_t i = 2; i < a.size() && i < 7; ++i) *rest[i - 2] = vm.ToNumber(a[i]);
  if (f.year >= 0 && f.year <= 99) f.year = 1900 + std::trunc(f.year);
  return Join(f);
}

std::string Format(double t) {
  if (std::isnan(t)) return "Invalid Date";
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const Fields f = Split(t);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT+0000 %.0f",
                kDays[static_cast<int>(f.day)], kMonths[static_cast<int>(f.month)],
                static_cast<int>(f.date), static_cast<int>(f.hours), static_cast<int>(f.minutes),
                static_cast<int>(f.seconds), f.year);
  return buf;
}

// One field of a date, by where it sits in Fields.
using Field = double Fields::*;

struct FieldName {
  const char* name;
  Field field;
};

constexpr FieldName kFields[] = {
    {"FullYear", &Fields::year},   {"Month", &Fields::month},     {"Date", &Fields::date},
    {"Hours", &Fields::hours},     {"Minutes", &Fields::minutes}, {"Seconds", &Fields::seconds},
    {"Milliseconds", &Fields::ms},
};

void InstallFieldMethods(Interpreter& vm, Object* proto) {
  for (const char* zone : {"", "UTC"}) {
    for (size_t i = 0; i < std::size(kFields); ++i) {
      const std::string suffix = std::string(zone) + kFields[i].name;
      AddMethod(vm, proto, ("get" + suffix).c_str(),
                [i](Interpreter&, const Value& self, std::span<const Value>) {
                  // Anything but a date has no fields at all, not an invalid one.
                  if (!IsDate(self)) return Value();
                  const double t = TimeOf(self);
                  return std::isnan(t) ? Value(kNaN) : Value(Split(t).*kFields[i].field);
                });
      // A setter takes the field and those after it that a caller gives (setHours(h, m, s)).
      AddMethod(vm, proto, ("set" + suffix).c_str(),
                [i](Interpreter& vm, const Value& self, std::span<const Value> a) {
                  if (!IsDate(self)) return Value();
                  double t = TimeOf(self);
                  // Setting a year gives an invalid date a start; any other field leaves it
                  // invalid.
                  if (std::isnan(t) && i == 0) t = 0;
                  Fields f = Split(t);
                  for (size_t k = 0; k < a.size() && i + k < std::size(kFields); ++k) {
                    f.*kFields[i + k].field = vm.ToNumber(a[k]);
                  }
                  if (a.empty()) f.*kFields[i].field = kNaN;
                  const double result = std::isnan(t) ? kNaN : Join(f);
                  self.AsObject()->internal[0] = result;
                  return Value(result);
                });
    }
    AddMethod(vm, proto, (std::string("get") + zone + "Day").c_str(),
              [](Interpreter&, const Value& self, std::span<const Value>) {
                if (!IsDate(self)) return Value();
                const double t = TimeOf(self);
                return std::isnan(t) ? Value(kNaN) : Value(Split(t).day);
              });
  }
  AddMethod(vm, proto, "getYear", [](Interpreter&, const Value& self, std::span<const Value>) {
    const double t = TimeOf(self);
    return std::isnan(t) ? Value(kNaN) : Value(Split(t).year - 1900);
  });
  AddMethod(vm, proto, "setYear", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    if (!IsDate(self)) return Value();
    double year = NumberArg(vm, a, 0);
    if (year >= 0 && year <= 99) year += 1900;
    Fields f = Split(std::isnan(TimeOf(self)) ? 0 : TimeOf(self));
    f.year = year;
    const double t = Join(f);
    self.AsObject()->internal[0] = t;
    return Value(t);
  });
}

}  // namespace

void InstallDate(Interpreter& vm) {
  Object* ctor = DefineClass(vm, vm.Global(), "Date",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               Object* o = Unclaimed(vm, self);
                               // Called as a plain function, Date gives today's date as text.
                               if (!o) return Value(Format(Now()));
                               double t = Now();
                               if (a.size() == 1) {
                                 t = vm.ToNumber(a[0]);
                                 if (!std::isnan(t))
                                   t = std::fabs(t) > 8.64e15 ? kNaN : std::trunc(t);
                               } else if (a.size() > 1) {
                                 t = FromParts(vm, a);
                               }
                               o->kind = ObjectKind::Date;
                               o->internal.assign(1, t);
                               return Value(Format(t));
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  AddMethod(vm, ctor, "UTC", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    return Value(FromParts(vm, a));
  });
  for (const char* name : {"getTime", "valueOf"}) {
    AddMethod(vm, proto, name, [](Interpreter&, const Value& self, std::span<const Value>) {
      return IsDate(self) ? Value(TimeOf(self)) : Value();
    });
  }
  AddMethod(vm, proto, "setTime", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    if (!IsDate(self)) return Value();
    double t = NumberArg(vm, a, 0);
    t = std::isnan(t) || std::fabs(t) > 8.64e15 ? kNaN : std::trunc(t);
    self.AsObject()->internal[0] = t;
    return Value(t);
  });
  AddMethod(vm, proto, "getTimezoneOffset",
            [](Interpreter&, const Value& self, std::span<const Value>) {
              return std::isnan(TimeOf(self)) ? Value(kNaN) : Value(0);
            });
  AddMethod(vm, proto, "toString", [](Interpreter&, const Value& self, std::span<const Value>) {
    return IsDate(self) ? Value(Format(TimeOf(self))) : Value("Invalid Date");
  });
  InstallFieldMethods(vm, proto);
}

}  // namespace swf::avm1
