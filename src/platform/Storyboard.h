#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace platform {

// Scenes made by name: (storyboard, identifier) -> a factory. Screens are built in code and
// register here so that code which asks for a scene by its name keeps doing so.
class Storyboard {
public:
    using Factory = std::function<QObject*()>;
    static void registerScene(const QString& storyboard, const QString& identifier, Factory factory);
    // A new instance (owned by the caller), or null with a log line when nothing is registered.
    static QObject* instantiate(const QString& storyboard, const QString& identifier);
    static bool hasScene(const QString& storyboard, const QString& identifier);
};

} // namespace platform
