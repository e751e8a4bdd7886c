#pragma once

// The small pictures of the gallery, drawn in code: the stars of a rating and of the star
// filter ("star-selected", "star-white", "star-deselected"), the comparator signs of the star
// filter ("Equal", "less-than", "greater-than") and the disclosure triangle of a section header.
// Each is made once, at twice its point size, and shared.

#include <QImage>
#include <QString>

namespace PLRGalleryImages {

// The picture of that name; a null image for a name not listed above.
QImage named(const QString& name);

// The disclosure triangle of a section header: pointing down when expanded, right when collapsed.
QImage disclosureTriangle(bool expanded);

} // namespace PLRGalleryImages
