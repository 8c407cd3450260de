#pragma once
// The weekly schedule: the weekdays and the time of day at which the
// unattended backup of the whole plan starts, stored under
// "...\1.0\backup\programacion".

#include <QChar>
#include <QDate>
#include <QDateTime>
#include <QString>

// dias: the weekday digits of the chosen days ("1" Sunday to "7" Saturday;
// readers only ask whether a digit occurs); hora: the start time, normally
// "hh:nn:00"; Activada: "T" active, "F" stored but switched off. Each text
// is empty when nothing is stored.
struct TScheduleSettings {
    QString dias;
    QString hora;
    QString Activada;

    bool operator==(const TScheduleSettings&) const = default;
};

inline const QString kScheduleKey =
    QStringLiteral("Software\\Orvalenta Software\\Quillbase\\1.0\\backup\\programacion");

// Reads the stored schedule; all three texts stay empty without the key.
// Writes nothing.
TScheduleSettings LoadScheduleSettings();

// Activada "T" with both dias and hora given: the trigger runs.
bool ScheduleActive(const TScheduleSettings& settings);
// Activada "F" with both dias and hora given.
bool ScheduleSwitchedOff(const TScheduleSettings& settings);

// The weekday digit of a date: '1' for Sunday, '2' for Monday ... '7' for
// Saturday.
QChar WeekdayDigit(const QDate& date);

// True when `now` falls in the one second the schedule names: its weekday
// digit occurs in dias and its time written "hh:nn:ss" (24-hour clock) is
// exactly hora. Fractions of a second do not count; Activada is not read.
bool IsScheduledSecond(const TScheduleSettings& settings, const QDateTime& now);
