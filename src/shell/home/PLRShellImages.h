#pragma once

#include <QImage>
#include <QString>

// The pictures of the home screen and its tiles, by the names the screens use: the application's
// named image when the resources hold one, else a simple picture drawn here (at twice its point
// size). Names: "create-post-tile-image", "create-post", "create-post-pressed", "empty-post",
// "bolt-green", "bolt-grey", "open-tile-menu", "open-tile-menu-pressed", "sort-ascending-arrow",
// "sort-descending-arrow". Unknown names give a null image.
namespace PLRShellImages {
QImage image(const QString& name);
}
