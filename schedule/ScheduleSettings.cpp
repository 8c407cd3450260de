#include "schedule/ScheduleSettings.h"

#include "platform/Settings.h"

TScheduleSettings LoadScheduleSettings() {
    TScheduleSettings settings;
    const platform::SettingsStore store;
    if (store.KeyExists(kScheduleKey)) {
        settings.dias = store.ReadString(kScheduleKey, QStringLiteral("dias"));
        settings.hora = store.ReadString(kScheduleKey, QStringLiteral("hora"));
        settings.Activada = store.ReadString(kScheduleKey, QStringLiteral("Activada"));
    }
    return settings;
}

bool ScheduleActive(const TScheduleSettings& settings) {
    return settings.Activada == u"T" && !settings.dias.isEmpty() && !settings.hora.isEmpty();
}

bool ScheduleSwitchedOff(const TScheduleSettings& settings) {
    return settings.Activada == u"F" && !settings.dias.isEmpty() && !settings.hora.isEmpty();
}

QChar WeekdayDigit(const QDate& date) {
    // Qt counts Monday 1 to Sunday 7; the schedule counts Sunday 1 to Saturday 7.
    return QChar(u'0' + date.dayOfWeek() % 7 + 1);
}

bool IsScheduledSecond(const TScheduleSettings& settings, const QDateTime& now) {
    if (!settings.dias.contains(WeekdayDigit(now.date()))) return false;
    return now.time().toString(QStringLiteral("HH:mm:ss")) == settings.hora;
}
