#pragma once
// The pictures of the plan's windows, drawn from the SVGs of resources/plan.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// ":/plan/<name>.svg" as an icon of the given size (drawn here, so that no
// icon plugin is needed).
QIcon PlanIcon(const QString& name, const QSize& size);
// The same picture drawn at one size, stretched to fill it.
QPixmap PlanPicture(const QString& name, const QSize& size);
