#pragma once
// The pictures of the log windows, drawn from the SVGs of resources/logview.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// ":/logview/<name>.svg" drawn at the given size.
QPixmap LogPicture(const QString& name, const QSize& size);
QIcon LogIcon(const QString& name, const QSize& size);
