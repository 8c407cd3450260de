#pragma once
// The program's pictures are SVG resources, drawn at the size a control
// asks for.

#include <QPixmap>
#include <QSize>
#include <QString>

namespace platform {

// The SVG resource `resource` (":/..."), drawn antialiased into a
// transparent picture of `size`, sharp on screens that scale.
QPixmap RenderPicture(const QString& resource, const QSize& size);

}  // namespace platform
