#pragma once
// The program's own pictures (lamps, front panel), drawn from SVG files.
#include <QPixmap>
#include <QString>

namespace kv::desktop {

QPixmap picture(const QString& name, QSize size);

}  // namespace kv::desktop
