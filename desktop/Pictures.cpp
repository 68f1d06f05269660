#include "desktop/Pictures.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

// Resources of a static library are registered by hand.
static void initPictures() { Q_INIT_RESOURCE(images); }

namespace kv::desktop {

QPixmap picture(const QString& name, QSize size) {
    static const bool ready = (initPictures(), true);
    (void)ready;
    static QHash<QString, QPixmap> cache;
    if (name.isEmpty() || size.isEmpty()) return {};
    QString key = QString("%1@%2x%3").arg(name).arg(size.width()).arg(size.height());
    auto it = cache.find(key);
    if (it != cache.end()) return *it;
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QString(":/images/%1.svg").arg(name));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace kv::desktop
