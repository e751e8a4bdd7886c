#pragma once

#include "store/persistance-store/source/PLRSourceImage.h"

#include <QList>
#include <QStringList>

#include <functional>

class QWidget;

// Keeps a photo from being placed in a layout twice.
class PLRImagesDistinctionVerifier {
public:
    // When none of the photos is in the layout, calls the completion with true at once.
    // Otherwise shows "You cannot add the same image twice!" with "Duplicate Image(s)" (copies
    // the photos already in the layout inside their folder under free names), "Cancel" and
    // "Show Details" (reveals them in the file manager), and calls the completion with false.
    // The completion always runs before the method returns.
    static void ensureDistinctImages(const QList<PLRSourceImagePtr>& images,
                                     const std::function<void(bool)>& completion,
                                     QWidget* parent = nullptr);

    // Copies the file next to itself under the first free name ("name copy.jpg",
    // "name copy 2.jpg", ...); the new path, or empty on failure.
    static QString duplicateFile(const QString& path);
};
