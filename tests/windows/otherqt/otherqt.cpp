// A platform plugin as another Qt program can leave on a plugin path set
// system-wide: it loads, claims the "windows" key, and cannot make the
// platform. A program that takes plugin paths from outside fails to start.
#include <qpa/qplatformintegrationplugin.h>

class OtherQtPlatform : public QPlatformIntegrationPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformIntegrationFactoryInterface_iid FILE "otherqt.json")

public:
    QPlatformIntegration *create(const QString &, const QStringList &) override { return nullptr; }
};

#include "otherqt.moc"
